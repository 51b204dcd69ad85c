#pragma once

class ProgressDisplay;

// Shows the progress of the library's downloads on a display for as long as
// the object lives: the library reports to a plain function, process-wide,
// so only one such object may live at a time.
class DownloadProgressOnDisplay
{
public:
    explicit DownloadProgressOnDisplay(ProgressDisplay& display);
    ~DownloadProgressOnDisplay();
    DownloadProgressOnDisplay(const DownloadProgressOnDisplay&) = delete;
    DownloadProgressOnDisplay& operator=(const DownloadProgressOnDisplay&) = delete;
};
