#include "PartStore.h"

#include <bimcore/storage/fs/FileIo.h>

#include <QCryptographicHash>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStorageInfo>

#include <cmath>

namespace bimcore {

namespace network_detail {

const QString kBookkeepingFolder = QStringLiteral(".bimcore-downloads");

namespace {

constexpr qint64 kKeepSeconds = 7 * 24 * 3600;
// Each new try follows another download's removal of the folder.
constexpr int kFolderTries = 100;
constexpr qint64 kLargestRecord = 64 * 1024;
constexpr qint64 kCheckpointBytes = qint64(32) << 20;
constexpr qint64 kCheckpointMs = 2000;
// Sizes beyond this would not survive the record's numbers exactly.
constexpr double kLargestSize = 9007199254740992.0; // 2^53

qint64 sizeIn(const QJsonValue& value)
{
    const double number = value.toDouble(-1);
    if (!(number >= 0 && number < kLargestSize) || std::floor(number) != number)
        return -1;
    return qint64(number);
}

std::optional<PartRecord> parseRecord(const QByteArray& text)
{
    const QJsonObject object = QJsonDocument::fromJson(text).object();
    PartRecord record;
    record.url = object.value(QLatin1String("url")).toString();
    record.etag = object.value(QLatin1String("etag")).toString().toLatin1();
    record.lastModified = object.value(QLatin1String("lastModified")).toString().toLatin1();
    record.name = object.value(QLatin1String("name")).toString();
    record.bytes = sizeIn(object.value(QLatin1String("bytes")));
    record.total = sizeIn(object.value(QLatin1String("total")));
    return record.canContinue() ? std::optional<PartRecord>(record) : std::nullopt;
}

QByteArray recordText(const PartRecord& record)
{
    const QJsonObject object {
        { QLatin1String("url"), record.url },
        { QLatin1String("etag"), QString::fromLatin1(record.etag) },
        { QLatin1String("lastModified"), QString::fromLatin1(record.lastModified) },
        { QLatin1String("name"), record.name },
        { QLatin1String("bytes"), double(record.bytes) },
        { QLatin1String("total"), double(record.total) },
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

QByteArray PartRecord::ifRange() const
{
    // A weak tag may not stand for the bytes themselves.
    return !etag.isEmpty() && !etag.startsWith("W/") ? etag : lastModified;
}

bool PartRecord::canContinue() const
{
    return bytes > 0 && total > bytes && !ifRange().isEmpty();
}

PartStore::PartStore(const QString& prefix, const QString& url)
    : m_url(url)
    , m_prefix(prefix)
    , m_sizeLimit(fs::fileSizeLimit())
{
    // The prefix need not end in a separator: what follows its last one
    // begins the target's name.
    const QFileInfo target(prefix + QLatin1Char('x'));
    m_stemOfName = target.fileName().chopped(1);
    m_dir = fs::Folder(target.absolutePath());
    if (!m_dir.valid())
        return;
    const QByteArray key = QCryptographicHash::hash(
        (url + QLatin1Char('\n') + m_stemOfName).toUtf8(), QCryptographicHash::Sha256);
    m_stem = QString::fromLatin1(key.toHex().left(32));
    // The last download to leave removes the folder: one that went between
    // its opening and the lock that would have kept it is made again.
    for (int tries = 0; tries < kFolderTries && !m_lock && !m_ownLock; ++tries) {
        m_bookkeeping = m_dir.subFolder(kBookkeepingFolder);
        if (!m_bookkeeping.valid())
            continue;
        m_lock = m_bookkeeping.lock(m_stem + QStringLiteral(".lock"));
        if (m_lock)
            break;
        m_ownStem = QStringLiteral("%1").arg(
            QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
        m_ownLock = m_bookkeeping.lock(m_ownStem + QStringLiteral(".lock"));
    }
    if (m_lock)
        takeLeftover();
    if (m_lock || m_ownLock)
        removeStale();
}

PartStore::~PartStore()
{
    if (!m_partName.isEmpty() && !(m_leftover && m_partName == partName()))
        discard();
    // Lock files go only while held, so that no two downloads hold one.
    if (m_lock && m_bookkeeping.ageOf(recordName()) < 0)
        m_bookkeeping.remove(m_stem + QStringLiteral(".lock"));
    if (m_ownLock)
        m_bookkeeping.remove(m_ownStem + QStringLiteral(".lock"));
    m_lock.reset();
    m_ownLock.reset();
    if (m_bookkeeping.valid()) {
        m_bookkeeping = fs::Folder();
        m_dir.removeSubFolder(kBookkeepingFolder);
    }
}

bool PartStore::hasRoomFor(qint64 offset, qint64 length) const
{
    if (length < 0)
        return true;
    if (m_sizeLimit >= 0 && offset + length > m_sizeLimit)
        return false;
    const QStorageInfo storage(QFileInfo(m_prefix + QLatin1Char('x')).absolutePath());
    const qint64 available = storage.bytesAvailable();
    return !storage.isValid() || available < 0 || length <= available;
}

void PartStore::takeLeftover()
{
    const auto text = m_bookkeeping.readFile(recordName(), kLargestRecord);
    std::optional<PartRecord> record = text ? parseRecord(*text) : std::nullopt;
    UniqueFd part;
    if (record && record->url == m_url)
        part = m_bookkeeping.openFile(partName(), false);
    const qint64 age = m_bookkeeping.ageOf(partName());
    if (!part || fs::sizeOf(part) < record->bytes || age < 0 || age > kKeepSeconds) {
        forget();
        return;
    }
    m_leftover = std::move(record);
    m_part = std::move(part);
}

// Leftovers never asked for again would stay for good: those past their
// week go, unless a download holds them now.
void PartStore::removeStale()
{
    for (const QString& lock : m_bookkeeping.filesEndingWith(QStringLiteral(".lock"))) {
        const QString stem = lock.chopped(5);
        if (stem == m_stem)
            continue;
        const UniqueFd held = m_bookkeeping.lock(lock);
        // Read once held: the holder before may have written it meanwhile.
        const qint64 age = m_bookkeeping.ageOf(stem + QStringLiteral(".part"));
        if (!held || (age >= 0 && age <= kKeepSeconds))
            continue;
        m_bookkeeping.remove(stem + QStringLiteral(".part"));
        m_bookkeeping.remove(stem + QStringLiteral(".json"));
        m_bookkeeping.remove(lock);
    }
}

void PartStore::forget()
{
    m_leftover.reset();
    m_part.reset();
    // Without the lock these names belong to another download.
    if (!m_lock)
        return;
    m_bookkeeping.remove(recordName());
    m_bookkeeping.remove(partName());
}

bool PartStore::begin(bool continuing, const PartRecord& record)
{
    m_record = record;
    m_record.url = m_url;
    if (continuing) {
        if (!m_part || !fs::cutTo(m_part, m_leftover->bytes))
            return false;
        m_partName = partName();
        m_written = m_checkpointed = m_leftover->bytes;
    } else {
        forget();
        // Without a lock the folder may go at any time.
        if (!m_lock && !m_ownLock)
            return false;
        m_partName = m_lock ? partName() : m_ownStem + QStringLiteral(".part");
        m_part = m_bookkeeping.openFile(m_partName, true);
        m_written = m_checkpointed = 0;
    }
    if (!m_part)
        return false;
    m_record.bytes = m_written;
    if (ownsRecord() && !m_bookkeeping.replaceFile(recordName(), recordText(m_record)))
        return false;
    m_sinceCheckpoint.start();
    return true;
}

bool PartStore::write(const char* data, qint64 size)
{
    // A write past the limit would end the process with SIGXFSZ.
    if ((m_sizeLimit >= 0 && m_written + size > m_sizeLimit) || !fs::writeAll(m_part, data, size))
        return false;
    m_written += size;
    if (m_written - m_checkpointed >= kCheckpointBytes
        || m_sinceCheckpoint.hasExpired(kCheckpointMs))
        return checkpoint();
    return true;
}

bool PartStore::checkpoint()
{
    m_sinceCheckpoint.restart();
    m_record.bytes = m_written;
    if (!ownsRecord() || !m_record.canContinue())
        return true;
    // The bytes are on the disk before the record that counts them.
    if (!fs::flushToDisk(m_part) || !m_bookkeeping.replaceFile(recordName(), recordText(m_record)))
        return false;
    m_checkpointed = m_written;
    return true;
}

bool PartStore::keep()
{
    if (!m_part)
        return false;
    // Of a whole file the last byte is left out: the next call asks for it
    // under the file's version, and so learns whether the file is current.
    if (m_written > 0 && m_written == m_record.total)
        --m_written;
    m_record.bytes = m_written;
    if (!ownsRecord() || !m_record.canContinue() || !checkpoint()) {
        discard();
        return false;
    }
    m_leftover = m_record;
    return true;
}

void PartStore::discard()
{
    m_leftover.reset();
    if (!m_part && m_partName.isEmpty())
        return;
    m_part.reset();
    m_bookkeeping.remove(m_partName);
    if (ownsRecord())
        m_bookkeeping.remove(recordName());
    m_partName.clear();
}

bool PartStore::moveOver(const QString& entry, const unsigned* mode)
{
    // On the disk before its name is: after a crash the target holds the old
    // file or the whole new one.
    if (!m_part || (mode && !fs::setMode(m_part, *mode)) || !fs::flushToDisk(m_part)
        || !m_bookkeeping.moveInto(m_partName, m_dir, entry))
        return false;
    m_part.reset();
    if (ownsRecord())
        m_bookkeeping.remove(recordName());
    m_partName.clear();
    m_leftover.reset();
    return true;
}

} // namespace network_detail

} // namespace bimcore
