#include "HttpRequest.h"

#include "NetworkInternal.h"

#include <bimcore/core/BIMException.h>
#include <bimcore/core/Global.h>
#include <bimcore/core/Logging.h>
#include <bimcore/core/UserMessages.h>

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>
#include <stdexcept>

namespace bimcore {

QNetworkAccessManager* HttpRequest::m_pNetManager = nullptr;
QTimer* HttpRequest::m_pTimer = nullptr;

namespace network_detail {

QList<QPair<QByteArray, QByteArray>> serviceHeaders(
    const QByteArray& contentType, const QString& authorization)
{
    return { { "Content-Type", contentType }, { "Authorization", authorization.toLocal8Bit() },
        { "endpoint", "PC" } };
}

} // namespace network_detail

namespace {

const QByteArray kJsonType = QByteArrayLiteral("application/json");
// No service answers with more; a longer body is given up where it passes
// this (or as soon as its announced length does) rather than held whole.
constexpr qint64 kServiceReplyLimit = qint64(256) << 20;
// What the reply may hold before it is read.
constexpr qint64 kReadBuffer = qint64(1) << 20;

struct ReplyDeleteLater
{
    void operator()(QNetworkReply* reply) const noexcept { reply->deleteLater(); }
};
using ReplyPtr = std::unique_ptr<QNetworkReply, ReplyDeleteLater>;

// Sends the request and waits for its reply's JSON object (anything else
// counts as empty) in a local event loop, or for the shared timer; the
// reply is aborted on time-out, and the body read as it comes.
class ServiceCall
{
public:
    explicit ServiceCall(QNetworkReply* reply)
        : m_reply(reply)
    {
        m_reply->setReadBufferSize(kReadBuffer);
        QObject::connect(m_reply.get(), &QNetworkReply::metaDataChanged, &m_context, [this] {
            const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
            if (length.isValid() && length.toLongLong() > kServiceReplyLimit)
                giveUp();
        });
        QObject::connect(
            m_reply.get(), &QNetworkReply::readyRead, &m_context, [this] { collect(); });
    }

    bool timedOut(QTimer& timer)
    {
        QEventLoop loop;
        const auto onTimeout = QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(m_reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
        timer.start();
        loop.exec();
        QObject::disconnect(onTimeout);
        // A single-shot timer that is no longer active has fired.
        if (!timer.isActive()) {
            m_reply->abort();
            return true;
        }
        timer.stop();
        return false;
    }

    // Throws BIMException (code 0) for a body over the limit, or with the
    // reply's error text when it failed, followed by the request when
    // `namesRequest` (a POST's text is the error text alone).
    QJsonObject object(const char* verb, bool namesRequest)
    {
        collect();
        const QString request
            = QStringLiteral("%1 %2").arg(QLatin1String(verb), m_reply->url().toString());
        if (m_tooLarge) {
            qCDebug(lcNetwork).noquote() << request << "refused: reply over the limit";
            throw BIMException(QStringLiteral("The service's reply is larger than %1 MiB; it was "
                                              "not read")
                                   .arg(kServiceReplyLimit >> 20),
                0);
        }
        const QJsonObject object = QJsonDocument::fromJson(std::move(m_body)).object();
        if (m_reply->error() != QNetworkReply::NoError) {
            const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            qCDebug(lcNetwork).noquote()
                << request << "failed:" << m_reply->errorString()
                << (status.isValid() ? QStringLiteral("(HTTP %1)").arg(status.toInt()) : QString());
            throw BIMException(namesRequest
                    ? QStringLiteral("%1 (%2)").arg(m_reply->errorString(), request)
                    : m_reply->errorString(),
                0);
        }
        return object;
    }

private:
    void giveUp()
    {
        m_tooLarge = true;
        m_body.clear();
        m_reply->abort();
    }

    void collect()
    {
        // A piece at a time: Qt may hold far more than its read buffer when
        // its network thread ran ahead of this one (seen on Windows).
        while (!m_tooLarge && m_reply->bytesAvailable() > 0) {
            m_body += m_reply->read(kReadBuffer);
            if (m_body.size() > kServiceReplyLimit)
                giveUp();
        }
    }

    ReplyPtr m_reply;
    // Ends the connections to the reply with the call; the reply lives on.
    QObject m_context;
    QByteArray m_body;
    bool m_tooLarge = false;
};

QNetworkRequest serviceRequest(const QString& url, const QString& authorization)
{
    QNetworkRequest request;
    request.setUrl(QUrl(url, QUrl::TolerantMode));
    for (const auto& [name, value] : network_detail::serviceHeaders(kJsonType, authorization))
        request.setRawHeader(name, value);
    return request;
}

} // namespace

void HttpRequestShared::init()
{
    HttpRequest::init();
}

QNetworkAccessManager* HttpRequestShared::manager()
{
    return HttpRequest::m_pNetManager;
}

QTimer* HttpRequestShared::timer()
{
    return HttpRequest::m_pTimer;
}

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
    ServiceCall call(m_pNetManager->get(serviceRequest(url, authorization)));
    if (call.timedOut(*m_pTimer)) {
        qCDebug(lcNetwork) << "GET" << url << "had no reply in" << m_pTimer->interval() / 1000 << "s";
        throw BIMException(networkTimeoutMessage(), 0);
    }
    const QJsonObject object = call.object("GET", true);
    const int code = object.value(QLatin1String("code")).toInt(0);
    if (code != 0) {
        const QString message = object.value(QLatin1String("message")).toString();
        qCDebug(lcNetwork) << "GET" << url << "answered code" << code << message;
        throw BIMException(QString::number(code) + QStringLiteral(": ") + message, 0);
    }
    return object;
}

QJsonObject HttpRequest::HttpPost(QJsonObject body, QString url)
{
    init();
    const QByteArray payload = QJsonDocument(body).toJson();
    ServiceCall call(
        m_pNetManager->post(serviceRequest(url, Singleton<Global>::instance()->m_token), payload));
    if (call.timedOut(*m_pTimer)) {
        qCDebug(lcNetwork) << "POST" << url << "had no reply in" << m_pTimer->interval() / 1000 << "s";
        throw std::runtime_error("Network Timeout!");
    }
    return call.object("POST", false);
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

} // namespace bimcore
