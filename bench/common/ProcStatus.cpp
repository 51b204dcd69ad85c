#include "ProcStatus.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>
#include <fstream>
#include <string>

long procStatusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, key.size(), key) == 0)
            return std::stol(line.substr(key.size()));
    }
    return -1;
}

long long childPeakKiB(const QString& mode, const QString& path)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { mode, path });
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        qFatal("the measuring child failed");
    return child.readAllStandardOutput().trimmed().toLongLong();
}

int printPeakKiB()
{
    std::printf("%ld\n", procStatusKiB("VmHWM"));
    return 0;
}
