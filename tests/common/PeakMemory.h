#pragma once

// The most memory this process has held resident so far, and what it holds
// now, in bytes.

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#include <psapi.h>

inline PROCESS_MEMORY_COUNTERS memoryCounters()
{
    PROCESS_MEMORY_COUNTERS counters {};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
        counters.PeakWorkingSetSize = counters.WorkingSetSize = 0;
    return counters;
}

inline qint64 peakResidentBytes()
{
    return qint64(memoryCounters().PeakWorkingSetSize);
}

inline qint64 residentBytes()
{
    return qint64(memoryCounters().WorkingSetSize);
}
#else
#include <QFile>

#include <sys/resource.h>
#include <unistd.h>

inline qint64 peakResidentBytes()
{
    rusage usage {};
    return ::getrusage(RUSAGE_SELF, &usage) == 0 ? qint64(usage.ru_maxrss) << 10 : -1;
}

inline qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> pages = statm.readAll().split(' ');
    return pages.size() > 1 ? pages[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}
#endif
