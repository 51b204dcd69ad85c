#include "TerminalProgress.h"

#include "Console.h"
#include "HostSystem.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kBarCells = 24;

} // namespace

TerminalProgress::TerminalProgress(bool redrawInPlace)
    : m_redrawInPlace(redrawInPlace)
{
}

TerminalProgress::~TerminalProgress()
{
    finish();
}

QString TerminalProgress::render(const QString& text, double percent)
{
    // The hub's figure is shown as it came, but a bar cannot be over-full.
    const double shown = std::isfinite(percent) ? std::clamp(percent, 0.0, 100.0) : 0.0;
    const int cells = int(shown * kBarCells / 100.0);
    return QStringLiteral("  [%1%2] %3%  %4")
        .arg(QString(cells, QLatin1Char('#')), QString(kBarCells - cells, QLatin1Char('.')))
        .arg(int(shown), 3)
        .arg(text.simplified());
}

void TerminalProgress::show(const QString& text, double percent)
{
    QString line = render(text, percent);
    if (!m_redrawInPlace) {
        if (line != m_lastLine)
            Console::progressLine(line);
        m_lastLine = line;
        return;
    }
    // A line that wrapped could not be redrawn with a carriage return.
    line.truncate(HostSystem::errorColumns() - 1);
    const int width = line.size();
    if (width < m_drawnWidth)
        line += QString(m_drawnWidth - width, QLatin1Char(' '));
    Console::progressRaw(QLatin1Char('\r') + line);
    m_drawnWidth = width;
}

void TerminalProgress::finish()
{
    if (m_redrawInPlace && m_drawnWidth > 0)
        Console::progressRaw(QStringLiteral("\n"));
    m_drawnWidth = 0;
    m_lastLine.clear();
}
