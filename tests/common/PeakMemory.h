#pragma once

// The most memory this process has held resident so far, in bytes.

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#include <psapi.h>

inline qint64 peakResidentBytes()
{
    PROCESS_MEMORY_COUNTERS counters {};
    counters.cb = sizeof counters;
    return ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)
        ? qint64(counters.PeakWorkingSetSize)
        : -1;
}
#else
#include <sys/resource.h>

inline qint64 peakResidentBytes()
{
    rusage usage {};
    return ::getrusage(RUSAGE_SELF, &usage) == 0 ? qint64(usage.ru_maxrss) << 10 : -1;
}
#endif
