#pragma once

#include <QString>

// A field of /proc/self/status given in KiB ("VmRSS", "VmHWM", ...), or -1
// when it cannot be read. Safe to call from any thread.
long procStatusKiB(const char* field);

// Runs this program again with {mode, path} as its arguments and returns the
// number it prints: its peak memory in KiB, which a fresh process measures
// without whatever the benchmark itself has allocated. Ends the benchmark when
// the child fails.
long long childPeakKiB(const QString& mode, const QString& path);

// The child's half of childPeakKiB: prints its peak memory; returns 0.
int printPeakKiB();
