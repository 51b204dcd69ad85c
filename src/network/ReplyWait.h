#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
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

// The headers every request to the services carries, in the order they expect
// them: the REST calls and the download both send exactly these.
QList<QPair<QByteArray, QByteArray>> serviceHeaders(
    const QByteArray& contentType, const QString& authorization);

// A request for url carrying the service headers.
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
