#include "DownloadSink.h"

#include <QNetworkReply>
#include <QRandomGenerator>

#include <utility>
#include <zlib.h>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cstdio>
#include <unistd.h>
#endif

namespace network_detail {

namespace {
// Large enough to keep system calls few, small enough to keep memory flat.
constexpr int kChunkSize = 1 << 20;

bool flushToDisk(int handle)
{
#ifdef Q_OS_WIN
    return _commit(handle) == 0;
#else
    return ::fsync(handle) == 0;
#endif
}

// Replaces the folder entry of `to` itself: a link there goes, and a folder
// there refuses.
bool replaceEntry(const QString& from, const QString& to)
{
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t*>(from.utf16()),
               reinterpret_cast<const wchar_t*>(to.utf16()),
               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
        != 0;
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData())
        == 0;
#endif
}

} // namespace

const QByteArray DownloadSink::kAcceptEncoding = QByteArrayLiteral("gzip, deflate");

// Reads both wrappings a server may use: gzip, and zlib for "deflate".
struct DownloadSink::Inflater
{
    Inflater() { ready = inflateInit2(&stream, MAX_WBITS + 32) == Z_OK; }
    ~Inflater()
    {
        if (ready)
            inflateEnd(&stream);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    z_stream stream {};
    bool ready = false;
    bool ended = false;
};

DownloadSink::DownloadSink(QNetworkReply& reply, QString dir)
    : m_reply(reply)
    , m_dir(std::move(dir))
{
    m_onMetaData = QObject::connect(&reply, &QNetworkReply::metaDataChanged, [this] { start(); });
    m_onReadyRead = QObject::connect(&reply, &QNetworkReply::readyRead, [this] { drain(); });
}

DownloadSink::~DownloadSink()
{
    QObject::disconnect(m_onMetaData);
    QObject::disconnect(m_onReadyRead);
    discard();
}

QString DownloadSink::fileNameFrom(const QString& contentDisposition)
{
    static const QString kKey = QStringLiteral("filename=");
    const int at = contentDisposition.indexOf(kKey);
    if (at < 0)
        return {};
    QString name = contentDisposition.mid(at + kKey.size());
    name.remove(QLatin1Char('"'));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
        || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QChar(0)))
        return {};
    return name;
}

void DownloadSink::start()
{
    if (m_started)
        return;
    m_started = true;

    // An error reply's body is not the file; its outcome is settled once it
    // has finished.
    const int status = m_reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400 || m_reply.error() != QNetworkReply::NoError) {
        m_failed = true;
        return;
    }

    const QString name = fileNameFrom(QString::fromUtf8(m_reply.rawHeader("Content-Disposition")));
    if (name.isEmpty()) {
        fail();
        return;
    }
    const QByteArray encoding = m_reply.rawHeader("Content-Encoding").trimmed().toLower();
    if (encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate") {
        m_inflater = std::make_unique<Inflater>();
        if (!m_inflater->ready) {
            fail();
            return;
        }
        m_decoded.resize(kChunkSize);
    } else if (!encoding.isEmpty() && encoding != "identity") {
        // Stored as it came, the file would not be the one the server meant.
        fail();
        return;
    }

    m_target = m_dir + name;
    // A new file on a name of its own, made as QFile makes any (0666 less the
    // umask): moving it over the target's name then replaces that entry,
    // whatever it is, and never writes into a file a link there points to.
    auto part = std::make_unique<QFile>(m_dir
        + QStringLiteral(".download-%1.part")
              .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0')));
    // A file that held the name already is not ours to remove.
    if (!part->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        fail();
        return;
    }
    m_part = std::move(part);
    m_chunk.resize(kChunkSize);
}

void DownloadSink::drain()
{
    if (!m_started)
        start();
    if (m_failed || !m_part) {
        // Keep the reply's buffer from growing while it runs out.
        m_reply.skip(m_reply.bytesAvailable());
        return;
    }
    while (m_reply.bytesAvailable() > 0) {
        const qint64 got = m_reply.read(m_chunk.data(), m_chunk.size());
        if (got <= 0)
            break;
        m_received += got;
        if (!(m_inflater ? decode(m_chunk.constData(), got) : write(m_chunk.constData(), got))) {
            fail();
            return;
        }
    }
}

bool DownloadSink::decode(const char* data, qint64 size)
{
    z_stream& stream = m_inflater->stream;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    stream.avail_in = uInt(size);
    for (;;) {
        if (m_inflater->ended) {
            if (stream.avail_in == 0)
                return true;
            // gzip allows members one after the other.
            if (inflateReset(&stream) != Z_OK)
                return false;
            m_inflater->ended = false;
        }
        stream.next_out = reinterpret_cast<Bytef*>(m_decoded.data());
        stream.avail_out = uInt(m_decoded.size());
        const int result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            return false;
        if (!write(m_decoded.constData(), m_decoded.size() - qint64(stream.avail_out)))
            return false;
        m_inflater->ended = result == Z_STREAM_END;
        // Room left in the output means the input is used up.
        if (!m_inflater->ended && stream.avail_out > 0)
            return true;
    }
}

bool DownloadSink::write(const char* data, qint64 size)
{
    return m_part->write(data, size) == size;
}

void DownloadSink::fail()
{
    m_failed = true;
    discard();
    // The body is of no use any more. Aborting from inside the reply's own
    // signal is not safe, so it is queued.
    QNetworkReply* reply = &m_reply;
    QMetaObject::invokeMethod(
        reply, [reply] { reply->abort(); }, Qt::QueuedConnection);
}

void DownloadSink::discard()
{
    if (m_part)
        m_part->remove();
    m_part.reset();
}

bool DownloadSink::bodyIsWhole() const
{
    // A connection closed in mid-body can end the reply without an error: the
    // announced length and a compressed stream's own end tell. A plain body
    // sent in chunks carries neither, and the access manager keeps whether its
    // last chunk came to itself: cut short, it ends with an error only now and
    // then, and with none otherwise.
    const QVariant length = m_reply.header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() != m_received)
        return false;
    return !m_inflater || m_inflater->ended;
}

bool DownloadSink::moveIntoPlace()
{
    // On the disk before its name is, so that after a crash the target holds
    // the old file or the whole new one.
    if (!flushToDisk(m_part->handle()))
        return false;
    m_part->close();
    if (m_part->error() != QFileDevice::NoError || !replaceEntry(m_part->fileName(), m_target))
        return false;
    m_part.reset();
    return true;
}

QString DownloadSink::complete()
{
    if (m_reply.error() != QNetworkReply::NoError)
        return {};
    drain();
    if (m_failed || !m_part || !bodyIsWhole() || !moveIntoPlace())
        return {};
    return m_target;
}

} // namespace network_detail
