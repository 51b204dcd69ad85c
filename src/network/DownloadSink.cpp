#include "DownloadSink.h"

#include <QNetworkReply>

#include <utility>
#include <zlib.h>

namespace network_detail {

namespace {
// Large enough to keep system calls few, small enough to keep memory flat.
constexpr int kChunkSize = 1 << 20;
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
    // A QSaveFile that was never committed removes its temporary file.
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
    m_file = std::make_unique<QSaveFile>(m_target);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        fail();
        return;
    }
    m_chunk.resize(kChunkSize);
}

void DownloadSink::drain()
{
    if (!m_started)
        start();
    if (m_failed || !m_file) {
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
    return m_file->write(data, size) == size;
}

void DownloadSink::fail()
{
    m_failed = true;
    m_file.reset();
    // The body is of no use any more. Aborting from inside the reply's own
    // signal is not safe, so it is queued.
    QNetworkReply* reply = &m_reply;
    QMetaObject::invokeMethod(
        reply, [reply] { reply->abort(); }, Qt::QueuedConnection);
}

bool DownloadSink::bodyIsWhole() const
{
    // A connection closed in mid-body can end the reply without an error: the
    // announced length and a compressed stream's own end tell. A plain body
    // sent in chunks carries neither, and has only the reply's error.
    const QVariant length = m_reply.header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() != m_received)
        return false;
    return !m_inflater || m_inflater->ended;
}

QString DownloadSink::complete()
{
    if (m_reply.error() != QNetworkReply::NoError)
        return {};
    drain();
    if (m_failed || !m_file || !bodyIsWhole() || !m_file->commit())
        return {};
    return m_target;
}

} // namespace network_detail
