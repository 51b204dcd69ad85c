#include "Console.h"

#include "HostSystem.h"

#include <cstdio>

namespace Console {

void line(const QString& text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void raw(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void error(const QString& text)
{
    std::fflush(stdout);
    const QByteArray bytes = "bimcore-host: " + text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

void progressRaw(const QString& text)
{
    std::fflush(stdout);
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void progressLine(const QString& text)
{
    progressRaw(text + QLatin1Char('\n'));
}

bool progressIsTerminal()
{
    return HostSystem::errorIsTerminal();
}

} // namespace Console
