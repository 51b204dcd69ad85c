#include "HttpRequest.h"

#include "DownloadSink.h"
#include "ReplyWait.h"

#include <bimcore/core/BIMException.h>
#include <bimcore/core/Global.h>
#include <bimcore/core/UserMessages.h>

#include <QJsonDocument>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <stdexcept>

using namespace network_detail;

QNetworkAccessManager* HttpRequest::m_pNetManager = nullptr;
QTimer* HttpRequest::m_pTimer = nullptr;
HttpRequest::DownloadProgress HttpRequest::m_downloadProgress = nullptr;

namespace {

const QByteArray kJsonType = QByteArrayLiteral("application/json");
const QByteArray kFileType = QByteArrayLiteral("application/octet-stream");
constexpr qint64 kDownloadReadBuffer = 1 << 20;

// The services answer with a JSON object; anything else counts as empty.
QJsonObject bodyObject(QNetworkReply& reply)
{
    return QJsonDocument::fromJson(reply.readAll()).object();
}

} // namespace

HttpRequest::HttpRequest() = default;

HttpRequest::~HttpRequest() = default;

void HttpRequest::init()
{
    if (!m_pNetManager)
        m_pNetManager = new QNetworkAccessManager();
    if (!m_pTimer) {
        m_pTimer = new QTimer();
        m_pTimer->setInterval(1000000);
        m_pTimer->setSingleShot(true);
    }
}

QJsonObject HttpRequest::HttpGet(QString url)
{
    return HttpGet(std::move(url), Singleton<Global>::instance()->m_token);
}

QJsonObject HttpRequest::HttpGet(QString url, const QString& authorization)
{
    init();
    ReplyPtr reply(m_pNetManager->get(serviceRequest(url, kJsonType, authorization)));
    if (waitForReply(*reply, *m_pTimer) == WaitOutcome::TimedOut)
        throw BIMException(networkTimeoutMessage(), 0);

    if (reply->error() != QNetworkReply::NoError)
        throw BIMException(reply->errorString(), 0);

    QJsonObject object = bodyObject(*reply);
    const int code = object.value(QLatin1String("code")).toInt(0);
    if (code != 0) {
        const QString message = object.value(QLatin1String("message")).toString();
        throw BIMException(QString::number(code) + QStringLiteral(": ") + message, 0);
    }
    return object;
}

QJsonObject HttpRequest::HttpPost(QJsonObject body, QString url)
{
    init();
    const QByteArray payload = QJsonDocument(body).toJson();
    ReplyPtr reply(m_pNetManager->post(
        serviceRequest(url, kJsonType, Singleton<Global>::instance()->m_token), payload));
    if (waitForReply(*reply, *m_pTimer) == WaitOutcome::TimedOut)
        throw std::runtime_error("Network Timeout!");

    if (reply->error() != QNetworkReply::NoError)
        throw BIMException(reply->errorString(), 0);
    return bodyObject(*reply);
}

QJsonObject HttpRequest::HttpPut(QString)
{
    return {};
}

QJsonObject HttpRequest::HttpDelete(QString)
{
    return {};
}

QJsonObject HttpRequest::Request(QJsonObject, RequestType, QString)
{
    return {};
}

QString HttpRequest::httpDownload(QString url, QString dir)
{
    init();
    const QString authorization = Singleton<Global>::instance()->m_token;
    PartialDownload partial(url, dir);
    for (;;) {
        QNetworkRequest request = serviceRequest(url, kFileType, authorization);
        if (const auto& leftover = partial.leftover()) {
            request.setRawHeader("Range", "bytes=" + QByteArray::number(leftover->bytes) + '-');
            request.setRawHeader("If-Range", leftover->ifRange());
            // The range counts bytes of the file as it is, not as sent.
            request.setRawHeader("Accept-Encoding", "identity");
        } else {
            request.setRawHeader("Accept-Encoding", DownloadSink::kAcceptEncoding);
        }
        ReplyPtr reply(m_pNetManager->get(request));
        // Without a limit the reply would hold whatever the disk has not taken yet.
        reply->setReadBufferSize(kDownloadReadBuffer);
        DownloadSink sink(*reply, dir, partial, m_downloadProgress);
        if (waitForReply(*reply, *m_pTimer) == WaitOutcome::TimedOut) {
            sink.interrupted();
            throw BIMException(networkTimeoutMessage(), 0);
        }
        const QString written = sink.complete();
        if (!sink.mustStartOver())
            return written;
        partial.forget();
    }
}

void HttpRequest::setDownloadProgress(DownloadProgress progress)
{
    m_downloadProgress = progress;
}
