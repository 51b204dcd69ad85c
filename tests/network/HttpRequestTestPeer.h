#pragma once

#include <bimcore/network/NetworkInternal.h>

#include <QTimer>

// The request layer's shared objects, as the library itself reaches them, so
// that tests can check them and wait seconds instead of the product's 1000.
using HttpRequestTestPeer = bimcore::HttpRequestShared;

// Shortens the shared time-out for as long as the object lives.
struct ShortTimeout
{
    explicit ShortTimeout(int msec) { HttpRequestTestPeer::timer()->setInterval(msec); }
    ~ShortTimeout() { HttpRequestTestPeer::timer()->setInterval(m_previous); }
    // Made first: the shared objects exist before the interval is changed.
    const int m_previous = (HttpRequestTestPeer::init(), HttpRequestTestPeer::timer()->interval());
};
