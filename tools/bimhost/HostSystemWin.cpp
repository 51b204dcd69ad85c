#ifdef _WIN32

#include "HostSystem.h"

#include <cstdio>

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

QStringList HostSystem::arguments(int, char**)
{
    // argv holds the ANSI code page's rendering, which loses what it cannot
    // spell (CJK names on a Western system): the wide command line does not.
    QStringList arguments;
    int count = 0;
    if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments.append(QString::fromWCharArray(wide[i]));
        ::LocalFree(wide);
    }
    return arguments;
}

void HostSystem::plainLineEnds()
{
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

bool HostSystem::errorIsTerminal()
{
    // A console answers for its mode; a pipe or a file does not.
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int HostSystem::errorColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO info {};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
    return 80;
}

#endif
