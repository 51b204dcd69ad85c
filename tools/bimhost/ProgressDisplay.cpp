#include "ProgressDisplay.h"

namespace {

ProgressDisplay* currentDisplay = nullptr;

constexpr qint64 kMiB = 1 << 20;
// Without a size (unknown, or 0) there is no percentage to move; a line every
// few MiB still shows that the transfer does.
constexpr qint64 kStepWithoutSize = 4 * kMiB;

QString mebibytes(qint64 bytes)
{
    return QString::number(double(bytes) / kMiB, 'f', 1);
}

} // namespace

ProgressDisplay::~ProgressDisplay() = default;

ProgressCallback ProgressDisplay::callback()
{
    return &ProgressDisplay::forward;
}

HttpRequest::DownloadProgress ProgressDisplay::downloadCallback()
{
    return &ProgressDisplay::forwardDownload;
}

void ProgressDisplay::forward(const wchar_t* text, double percent)
{
    if (!currentDisplay)
        return;
    currentDisplay->show(text ? QString::fromWCharArray(text) : QString(), percent);
}

void ProgressDisplay::forwardDownload(qint64 received, qint64 total)
{
    if (currentDisplay)
        currentDisplay->showDownload(received, total);
}

void ProgressDisplay::showDownload(qint64 received, qint64 total)
{
    const int percent = total > 0 ? int(received * 100 / total) : 0;
    // A transfer that started over counts down.
    const bool moved = total != m_shownTotal
        || (total > 0
                ? percent != m_shownPercent
                : received < m_shownReceived || received - m_shownReceived >= kStepWithoutSize);
    if (!moved)
        return;
    m_shownPercent = percent;
    m_shownReceived = received;
    m_shownTotal = total;
    show(total > 0
            ? QStringLiteral("Downloading %1 / %2 MiB").arg(mebibytes(received), mebibytes(total))
            : QStringLiteral("Downloading %1 MiB").arg(mebibytes(received)),
        percent);
}

ProgressDisplay::Current::Current(ProgressDisplay& display)
    : m_previous(currentDisplay)
{
    currentDisplay = &display;
}

ProgressDisplay::Current::~Current()
{
    currentDisplay = m_previous;
}
