#pragma once

#include <QElapsedTimer>

#include <algorithm>
#include <vector>

// Milliseconds since the timer was started, to the nanosecond.
inline double millis(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// The middle one of the timed runs (the upper middle for an even count).
inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
