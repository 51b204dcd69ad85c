#pragma once

#include <bimcore/core/bimcore_export.h>

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

class QNetworkAccessManager;
class QTimer;

namespace bimcore {

// HttpRequest's shared access manager and time-out, for the download and
// the tests; the tests also shorten the download's waits.
class BIMCORE_EXPORT HttpRequestShared
{
public:
    // Makes the shared objects, when no request has yet.
    static void init();
    // Null until made.
    static QNetworkAccessManager* manager();
    static QTimer* timer();
    // The first pause before a retry, and how long a reply may bring under
    // 1 KiB before it counts as stopped.
    static void setRetryTiming(int pauseMs, int stallMs);
};

namespace network_detail {

// The headers every request to the services carries, in the order they
// expect: the REST calls and the download both send exactly these.
QList<QPair<QByteArray, QByteArray>> serviceHeaders(
    const QByteArray& contentType, const QString& authorization);

} // namespace network_detail

} // namespace bimcore
