#include "HttpRequest.h"

#include "ReplyBody.h"
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

using bimcore::networkTimeoutMessage;

using namespace network_detail;

QNetworkAccessManager* HttpRequest::m_pNetManager = nullptr;
QTimer* HttpRequest::m_pTimer = nullptr;

namespace {

const QByteArray kJsonType = QByteArrayLiteral("application/json");

// The services answer with a JSON object; anything else counts as empty.
QJsonObject bodyObject(ReplyBody& body)
{
    return QJsonDocument::fromJson(body.take()).object();
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
    ReplyBody body(*reply);
    if (waitForReply(*reply, *m_pTimer) == WaitOutcome::TimedOut)
        throw BIMException(networkTimeoutMessage(), 0);

    QJsonObject object = bodyObject(body);
    if (reply->error() != QNetworkReply::NoError)
        throw BIMException(reply->errorString(), 0);

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
    ReplyBody answer(*reply);
    if (waitForReply(*reply, *m_pTimer) == WaitOutcome::TimedOut)
        throw std::runtime_error("Network Timeout!");

    QJsonObject object = bodyObject(answer);
    if (reply->error() != QNetworkReply::NoError)
        throw BIMException(reply->errorString(), 0);
    return object;
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
