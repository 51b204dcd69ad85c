#include "DownloadSink.h"

#include <QFileInfo>
#include <QNetworkReply>
#include <QStorageInfo>

#include <utility>
#include <zlib.h>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#endif

namespace network_detail {

namespace {
// Large enough to keep system calls few, small enough to keep memory flat.
constexpr int kChunkSize = 1 << 20;

// A name that stays in the folder it is put in.
bool staysInFolder(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
        && !name.contains(QChar(0));
}

// The size no file of this process may pass, or -1 when there is none.
qint64 fileSizeLimit()
{
#ifndef Q_OS_WIN
    rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return qint64(limit.rlim_cur);
#endif
    return -1;
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

DownloadSink::DownloadSink(
    QNetworkReply& reply, QString dir, PartialDownload& partial, Progress progress)
    : m_reply(reply)
    , m_dir(std::move(dir))
    , m_partial(partial)
    , m_progress(progress)
{
    m_onMetaData = QObject::connect(&reply, &QNetworkReply::metaDataChanged, [this] { start(); });
    m_onReadyRead = QObject::connect(&reply, &QNetworkReply::readyRead, [this] { drain(); });
}

DownloadSink::~DownloadSink()
{
    QObject::disconnect(m_onMetaData);
    QObject::disconnect(m_onReadyRead);
}

QString DownloadSink::fileNameFrom(const QString& contentDisposition)
{
    static const QString kKey = QStringLiteral("filename=");
    const int at = contentDisposition.indexOf(kKey);
    if (at < 0)
        return {};
    QString name = contentDisposition.mid(at + kKey.size());
    name.remove(QLatin1Char('"'));
    return staysInFolder(name) ? name : QString();
}

void DownloadSink::start()
{
    if (m_started)
        return;
    m_started = true;

    const int status = m_reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const std::optional<PartRecord>& leftover = m_partial.leftover();
    // A leftover the server will not continue is fetched whole, again.
    m_startOver = leftover && (status == 416 || (status == 206 && !continuesLeftover()));
    // An error reply's body is not the file; its outcome is settled once it
    // has finished.
    if (status >= 400 || m_reply.error() != QNetworkReply::NoError) {
        m_failed = true;
        return;
    }
    if (m_startOver) {
        fail();
        return;
    }
    // Only the rest of a leftover may come as a part of the file.
    const bool continuing = leftover && status == 206;
    if (status == 206 && !continuing) {
        fail();
        return;
    }

    QString name = fileNameFrom(QString::fromUtf8(m_reply.rawHeader("Content-Disposition")));
    if (name.isEmpty() && continuing && staysInFolder(leftover->name))
        name = leftover->name;
    if (name.isEmpty() || !acceptEncoding(m_reply.rawHeader("Content-Encoding"))) {
        fail();
        return;
    }
    // The whole file comes again, so what was kept of it is of no use.
    if (leftover && !continuing)
        m_partial.forget();
    const QVariant announced = m_reply.header(QNetworkRequest::ContentLengthHeader);
    const qint64 length = announced.isValid() ? announced.toLongLong() : -1;
    if (!fitsOnDisk(continuing ? leftover->bytes : 0, length)) {
        fail();
        return;
    }
    m_target = m_dir + name;
    m_part = m_partial.open(continuing);
    if (!m_part) {
        fail();
        return;
    }
    m_chunk.resize(kChunkSize);

    if (continuing) {
        m_record = *leftover;
        m_offset = m_record.bytes;
        m_total = m_record.total;
    } else {
        m_total = length;
        m_record.etag = m_reply.rawHeader("ETag");
        m_record.lastModified = m_reply.rawHeader("Last-Modified");
        // What arrived of a compressed body cannot be continued as bytes of
        // the file.
        m_record.total = m_inflater ? 0 : m_total;
    }
    m_record.name = name;
    reportProgress();
}

bool DownloadSink::continuesLeftover() const
{
    const PartRecord& leftover = *m_partial.leftover();
    const QByteArray encoding = m_reply.rawHeader("Content-Encoding").trimmed().toLower();
    if (!encoding.isEmpty() && encoding != "identity")
        return false;
    const QByteArray range = "bytes " + QByteArray::number(leftover.bytes) + '-'
        + QByteArray::number(leftover.total - 1) + '/' + QByteArray::number(leftover.total);
    if (m_reply.rawHeader("Content-Range").trimmed().toLower() != range)
        return false;
    // A server that ignored "If-Range" may still say that the file changed.
    const QByteArray etag = m_reply.rawHeader("ETag");
    const QByteArray lastModified = m_reply.rawHeader("Last-Modified");
    return (etag.isEmpty() || leftover.etag.isEmpty() || etag == leftover.etag)
        && (lastModified.isEmpty() || leftover.lastModified.isEmpty()
            || lastModified == leftover.lastModified);
}

bool DownloadSink::acceptEncoding(const QByteArray& header)
{
    const QByteArray encoding = header.trimmed().toLower();
    if (encoding.isEmpty() || encoding == "identity")
        return true;
    // Stored as it came, the file would not be the one the server meant.
    if (encoding != "gzip" && encoding != "x-gzip" && encoding != "deflate")
        return false;
    m_inflater = std::make_unique<Inflater>();
    m_decoded.resize(kChunkSize);
    return m_inflater->ready;
}

bool DownloadSink::fitsOnDisk(qint64 offset, qint64 length) const
{
    // Refused before a byte is written, rather than found out when the disk
    // is full. A compressed body needs at least its own length.
    if (length < 0)
        return true;
    const qint64 sizeLimit = fileSizeLimit();
    if (sizeLimit >= 0 && offset + length > sizeLimit)
        return false;
    const QStorageInfo storage(QFileInfo(m_dir + QLatin1Char('x')).absolutePath());
    const qint64 available = storage.bytesAvailable();
    return !storage.isValid() || available < 0 || length <= available;
}

void DownloadSink::drain()
{
    if (!m_started)
        start();
    if (m_failed || !m_part) {
        // Keep the reply's buffer from growing while it runs out.
        if (m_reply.isOpen())
            m_reply.skip(m_reply.bytesAvailable());
        return;
    }
    const qint64 before = m_received;
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
    if (m_received != before)
        reportProgress();
}

void DownloadSink::reportProgress() const
{
    if (m_progress)
        m_progress(m_offset + m_received, m_total);
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
    m_partial.discard();
    m_part = nullptr;
    // The body is of no use any more. Aborting from inside the reply's own
    // signal is not safe, so it is queued.
    QNetworkReply* reply = &m_reply;
    // A reply that failed already comes to its end by itself.
    QMetaObject::invokeMethod(
        reply,
        [reply] {
            if (!reply->isFinished() && reply->error() == QNetworkReply::NoError)
                reply->abort();
        },
        Qt::QueuedConnection);
}

void DownloadSink::keepOrDiscard()
{
    if (m_failed || !m_part)
        return;
    m_record.bytes = m_part->size();
    if (!m_partial.keep(m_record))
        m_partial.discard();
    m_part = nullptr;
}

void DownloadSink::interrupted()
{
    keepOrDiscard();
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

QString DownloadSink::complete()
{
    // What came before an error is still the file's, and worth keeping.
    drain();
    if (m_reply.error() != QNetworkReply::NoError) {
        keepOrDiscard();
        return {};
    }
    if (m_failed || !m_part)
        return {};
    if (!bodyIsWhole()) {
        keepOrDiscard();
        return {};
    }
    // The file goes in place only at the whole size the server gave.
    const bool whole = m_record.total <= 0 || m_part->size() == m_record.total;
    m_part = nullptr;
    if (!whole || !m_partial.moveOver(m_target)) {
        m_partial.discard();
        return {};
    }
    return m_target;
}

} // namespace network_detail
