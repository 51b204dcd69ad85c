#include "DownloadSink.h"

#include <QNetworkReply>

#include <utility>

namespace network_detail {

namespace {
// Large enough to keep system calls few, small enough to keep memory flat.
constexpr int kChunkSize = 1 << 20;
} // namespace

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
        if (m_file->write(m_chunk.constData(), got) != got) {
            fail();
            return;
        }
        m_written += got;
    }
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
    // A connection closed in mid-body can end the reply without an error;
    // the announced length tells. A compressed body is counted after
    // decompression, so its length says nothing.
    const QByteArray encoding = m_reply.rawHeader("Content-Encoding");
    const QVariant length = m_reply.header(QNetworkRequest::ContentLengthHeader);
    if (!length.isValid() || !(encoding.isEmpty() || encoding == "identity"))
        return true;
    return length.toLongLong() == m_written;
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
