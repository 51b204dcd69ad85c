#ifdef _WIN32

#include "Terminal.h"

#include <windows.h>

bool Terminal::errorIsTerminal()
{
    // A console answers for its mode; a pipe or a file does not.
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int Terminal::errorColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO info {};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
    return 80;
}

#endif
