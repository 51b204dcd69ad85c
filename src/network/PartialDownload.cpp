#include "PartialDownload.h"

#include "DiskFile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStringList>

#include <cmath>
#include <utility>

namespace network_detail {

namespace {

constexpr int kKeepDays = 7;
constexpr qint64 kLargestRecord = 64 * 1024;
// Sizes beyond this would not survive the record's numbers exactly.
constexpr double kLargestSize = 9007199254740992.0; // 2^53

QString stemFor(const QString& url, const QString& dir)
{
    const QByteArray key
        = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return dir + QStringLiteral(".download-") + QString::fromLatin1(key);
}

QString partPath(const QString& stem)
{
    return stem + QStringLiteral(".part");
}

QString recordPath(const QString& stem)
{
    return stem + QStringLiteral(".json");
}

// A size the record gives, or -1 when it gives none that can be one.
qint64 sizeIn(const QJsonValue& value)
{
    const double number = value.toDouble(-1);
    if (!(number >= 0 && number < kLargestSize) || std::floor(number) != number)
        return -1;
    return qint64(number);
}

std::optional<PartRecord> readRecord(const QString& path)
{
    const auto file = openPlainFile(path);
    if (!file || file->size() > kLargestRecord)
        return std::nullopt;
    const QJsonObject object = QJsonDocument::fromJson(file->readAll()).object();
    PartRecord record;
    record.url = object.value(QLatin1String("url")).toString();
    record.etag = object.value(QLatin1String("etag")).toString().toLatin1();
    record.lastModified = object.value(QLatin1String("lastModified")).toString().toLatin1();
    record.name = object.value(QLatin1String("name")).toString();
    record.bytes = sizeIn(object.value(QLatin1String("bytes")));
    record.total = sizeIn(object.value(QLatin1String("total")));
    if (!record.canContinue())
        return std::nullopt;
    return record;
}

bool writeRecord(const QString& path, const PartRecord& record)
{
    const QJsonObject object {
        { QLatin1String("url"), record.url },
        { QLatin1String("etag"), QString::fromLatin1(record.etag) },
        { QLatin1String("lastModified"), QString::fromLatin1(record.lastModified) },
        { QLatin1String("name"), record.name },
        { QLatin1String("bytes"), double(record.bytes) },
        { QLatin1String("total"), double(record.total) },
    };
    // Replaced whole, so that it never describes a part it only half names.
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(object).toJson())
        && file.commit();
}

QDateTime oldestKept()
{
    return QDateTime::currentDateTimeUtc().addDays(-kKeepDays);
}

// The leftovers of downloads never asked for again would stay for good:
// those past their week go, unless a download holds them now.
void removeStaleLeftovers(const QString& dir, const QString& ownStem)
{
    // dir is a prefix of the files' paths, not always a folder of its own.
    const QFileInfo prefix(dir + QLatin1Char('x'));
    const QString start = prefix.fileName().chopped(1) + QStringLiteral(".download-");
    const QFileInfoList found
        = prefix.dir().entryInfoList({ QStringLiteral("*.part"), QStringLiteral("*.json") },
            QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    const QDateTime oldest = oldestKept();
    for (const QFileInfo& leftover : found) {
        if (!leftover.fileName().startsWith(start))
            continue;
        const QString stem = leftover.filePath().chopped(5);
        if (stem == ownStem || leftover.lastModified() >= oldest)
            continue;
        QLockFile lock(stem + QStringLiteral(".lock"));
        if (lock.tryLock(0))
            QFile::remove(leftover.filePath());
    }
}

} // namespace

QByteArray PartRecord::ifRange() const
{
    // A weak tag may not stand for the bytes themselves.
    if (!etag.isEmpty() && !etag.startsWith("W/"))
        return etag;
    return lastModified;
}

bool PartRecord::canContinue() const
{
    return bytes > 0 && total > bytes && !ifRange().isEmpty();
}

PartialDownload::PartialDownload(QString url, QString dir)
    : m_url(std::move(url))
    , m_dir(std::move(dir))
    , m_stem(stemFor(m_url, m_dir))
    , m_lock(m_stem + QStringLiteral(".lock"))
{
    // A lock left by a process that died is taken over.
    m_locked = m_lock.tryLock(0);
    if (m_locked)
        takeLeftover();
    removeStaleLeftovers(m_dir, m_stem);
}

PartialDownload::~PartialDownload()
{
    discard();
}

void PartialDownload::takeLeftover()
{
    std::optional<PartRecord> record = readRecord(recordPath(m_stem));
    std::unique_ptr<QFile> part;
    if (record && record->url == m_url)
        part = openPlainFile(partPath(m_stem));
    if (!part || part->size() < record->bytes
        || part->fileTime(QFileDevice::FileModificationTime) < oldestKept()) {
        forget();
        return;
    }
    m_leftover = std::move(record);
    m_leftoverFile = std::move(part);
}

void PartialDownload::forget()
{
    m_leftover.reset();
    m_leftoverFile.reset();
    // Without the lock these names belong to another download.
    if (!m_locked)
        return;
    removeRecord();
    QFile::remove(partPath(m_stem));
}

void PartialDownload::removeRecord()
{
    QFile::remove(recordPath(m_stem));
}

QFile* PartialDownload::open(bool continuing)
{
    discard();
    if (continuing) {
        if (!m_leftoverFile || !m_leftoverFile->resize(m_leftover->bytes)
            || !m_leftoverFile->seek(m_leftover->bytes))
            return nullptr;
        m_part = std::move(m_leftoverFile);
        m_partPath = partPath(m_stem);
        return m_part.get();
    }
    forget();
    // A new file on a name of its own, made as QFile makes any (0666 less the
    // umask): moving it over the target's name then replaces that entry,
    // whatever it is, and never writes into a file a link there points to.
    // A file that held the name already is not ours to write to.
    const auto mode = QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered;
    QStringList paths { m_dir
        + QStringLiteral(".download-%1.part")
              .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0')) };
    if (m_locked)
        paths.prepend(partPath(m_stem));
    for (const QString& path : paths) {
        auto part = std::make_unique<QFile>(path);
        if (part->open(mode)) {
            m_part = std::move(part);
            m_partPath = path;
            return m_part.get();
        }
    }
    return nullptr;
}

bool PartialDownload::keep(PartRecord record)
{
    if (!m_part || !m_locked || m_partPath != partPath(m_stem) || !record.canContinue())
        return false;
    record.url = m_url;
    // The bytes are on the disk before the record that counts them is.
    if (!flushToDisk(*m_part) || !writeRecord(recordPath(m_stem), record))
        return false;
    m_part.reset();
    return true;
}

void PartialDownload::discard()
{
    if (!m_part)
        return;
    m_part.reset();
    QFile::remove(m_partPath);
    if (m_partPath == partPath(m_stem))
        removeRecord();
}

bool PartialDownload::moveOver(const QString& target)
{
    // On the disk before its name is, so that after a crash the target holds
    // the old file or the whole new one.
    if (!m_part || !flushToDisk(*m_part))
        return false;
    m_part->close();
    if (m_part->error() != QFileDevice::NoError || !replaceEntry(m_partPath, target))
        return false;
    m_part.reset();
    if (m_locked)
        removeRecord();
    return true;
}

} // namespace network_detail
