#pragma once

#include <bimcore/network/HttpRequest.h>

#include <QTimer>

// Reaches the request layer's shared objects, so that tests can check them
// and wait seconds instead of the product's 1000 for a time-out.
class HttpRequestTestPeer
{
public:
    static QNetworkAccessManager* manager() { return HttpRequest::m_pNetManager; }
    static QTimer* timer() { return HttpRequest::m_pTimer; }

    // Shortens the pause before a retry and the wait on a stopped body.
    static void setRetryTiming(int pauseMs, int stallMs)
    {
        HttpRequest::m_retryPauseMs = pauseMs;
        HttpRequest::m_stallMs = stallMs;
    }

    // Shortens the shared time-out for as long as the object lives.
    struct ShortTimeout
    {
        explicit ShortTimeout(int msec) { HttpRequest::m_pTimer->setInterval(msec); }
        ~ShortTimeout() { HttpRequest::m_pTimer->setInterval(m_previous); }
        // Made first: the shared objects exist before the interval is changed.
        const int m_previous = (HttpRequest::init(), HttpRequest::m_pTimer->interval());
    };
};
