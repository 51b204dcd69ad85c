#ifndef _WIN32

#include "HostSystem.h"

#include <QFile>

#include <sys/ioctl.h>
#include <unistd.h>

QStringList HostSystem::arguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QFile::decodeName(argv[i]));
    return arguments;
}

void HostSystem::plainLineEnds()
{
}

bool HostSystem::errorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

int HostSystem::errorColumns()
{
    winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

#endif
