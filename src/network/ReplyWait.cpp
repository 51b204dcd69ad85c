#include "ReplyWait.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace network_detail {

void ReplyDeleteLater::operator()(QNetworkReply* reply) const noexcept
{
    reply->deleteLater();
}

QList<QPair<QByteArray, QByteArray>> serviceHeaders(
    const QByteArray& contentType, const QString& authorization)
{
    return { { "Content-Type", contentType }, { "Authorization", authorization.toLocal8Bit() },
        { "endpoint", "PC" } };
}

QNetworkRequest serviceRequest(
    const QString& url, const QByteArray& contentType, const QString& authorization)
{
    QNetworkRequest request;
    request.setUrl(QUrl(url, QUrl::TolerantMode));
    for (const auto& [name, value] : serviceHeaders(contentType, authorization))
        request.setRawHeader(name, value);
    return request;
}

WaitOutcome waitForReply(QNetworkReply& reply, QTimer& timer)
{
    QEventLoop loop;
    const auto onTimeout = QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto onFinished
        = QObject::connect(&reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timer.start();
    loop.exec();

    // A single-shot timer that is no longer active has fired.
    if (!timer.isActive()) {
        QObject::disconnect(onTimeout);
        QObject::disconnect(onFinished);
        reply.abort();
        return WaitOutcome::TimedOut;
    }
    timer.stop();
    return WaitOutcome::Finished;
}

} // namespace network_detail
