#pragma once

#include <bimcore/network/NetworkInternal.h>

#include <QTimer>

// The request layer's shared objects, so that tests can check them and wait
// seconds instead of the product's 1000 for a time-out.
class HttpRequestTestPeer
{
public:
    static QNetworkAccessManager* manager() { return bimcore::HttpRequestShared::manager(); }
    static QTimer* timer() { return bimcore::HttpRequestShared::timer(); }
    static void setRetryTiming(int pauseMs, int stallMs)
    {
        bimcore::HttpRequestShared::setRetryTiming(pauseMs, stallMs);
    }

    // Shortens the shared time-out for as long as the object lives.
    struct ShortTimeout
    {
        explicit ShortTimeout(int msec) { timer()->setInterval(msec); }
        ~ShortTimeout() { timer()->setInterval(m_previous); }
        // Made first: the shared objects exist before the interval is changed.
        const int m_previous = (bimcore::HttpRequestShared::init(), timer()->interval());
    };
};
