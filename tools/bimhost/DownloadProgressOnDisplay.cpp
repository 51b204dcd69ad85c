#include "DownloadProgressOnDisplay.h"

#include "ProgressDisplay.h"

#include <network/HttpRequest.h>

#include <QString>

namespace {

constexpr qint64 kMiB = 1 << 20;
// Without a size (unknown, or 0) there is no percentage to move; a line every
// few MiB still shows that the transfer does.
constexpr qint64 kStepWithoutSize = 4 * kMiB;

// The library reports every network read; a log should get a line per
// percent, not one per read.
struct Shown
{
    int percent = -1;
    qint64 received = -1;
    qint64 total = -2;
};
Shown lastShown;
ProgressDisplay* display = nullptr;

QString mebibytes(qint64 bytes)
{
    return QString::number(double(bytes) / kMiB, 'f', 1);
}

bool worthRedrawing(qint64 received, qint64 total, int percent)
{
    if (total != lastShown.total)
        return true;
    if (total > 0)
        return percent != lastShown.percent;
    // A transfer that started over counts down.
    return received < lastShown.received || received - lastShown.received >= kStepWithoutSize;
}

void showDownloadProgress(qint64 received, qint64 total)
{
    const int percent = total > 0 ? int(received * 100 / total) : 0;
    if (!display || !worthRedrawing(received, total, percent))
        return;
    lastShown = { percent, received, total };
    display->show(total > 0
            ? QStringLiteral("Downloading %1 / %2 MiB").arg(mebibytes(received), mebibytes(total))
            : QStringLiteral("Downloading %1 MiB").arg(mebibytes(received)),
        percent);
}

} // namespace

DownloadProgressOnDisplay::DownloadProgressOnDisplay(ProgressDisplay& shownOn)
{
    display = &shownOn;
    lastShown = Shown();
    HttpRequest::setDownloadProgress(&showDownloadProgress);
}

DownloadProgressOnDisplay::~DownloadProgressOnDisplay()
{
    HttpRequest::setDownloadProgress(nullptr);
    display = nullptr;
}
