#pragma once

#include <QElapsedTimer>

// Milliseconds since the timer was started, to the nanosecond.
inline double millis(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}
