#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QNetworkReply;
class QNetworkRequest;
class QTimer;

namespace network_detail {

// Schedules a reply for deletion however the operation that owns it ends.
struct ReplyDeleteLater
{
    void operator()(QNetworkReply* reply) const noexcept;
};
using ReplyPtr = std::unique_ptr<QNetworkReply, ReplyDeleteLater>;

// A request for url carrying the service headers, in the order the services
// expect them.
QNetworkRequest serviceRequest(
    const QString& url, const QByteArray& contentType, const QString& authorization);

enum class WaitOutcome
{
    Finished,
    TimedOut
};

// Runs a local event loop until the reply finishes or the shared timer fires.
// On time-out the reply is aborted; the caller still owns it.
WaitOutcome waitForReply(QNetworkReply& reply, QTimer& timer);

} // namespace network_detail
