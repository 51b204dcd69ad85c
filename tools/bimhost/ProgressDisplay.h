#pragma once

#include <bimcore/network/HttpRequest.h>
#include <bimcore/project/ProgressCallback.h>

#include <QString>

// Where the host shows the progress of opening, updating and downloading: the
// terminal or a progress window. The library's progress callbacks are plain
// functions, so one display at a time is made current for them.
class ProgressDisplay
{
public:
    virtual ~ProgressDisplay();

    // A message of the platform hub: its text and a percentage.
    virtual void show(const QString& text, double percent) = 0;
    // The work is over; the display stops drawing.
    virtual void finish() = 0;

    // The callback handed to Project::open and Project::updateProject; it
    // forwards to the current display, and does nothing without one.
    static ProgressCallback callback();
    // The same for HttpRequest::setDownloadProgress.
    static HttpRequest::DownloadProgress downloadCallback();

    // Makes this display current for as long as the object lives.
    class Current
    {
    public:
        explicit Current(ProgressDisplay& display);
        ~Current();
        Current(const Current&) = delete;
        Current& operator=(const Current&) = delete;

    private:
        ProgressDisplay* m_previous;
    };

private:
    static void forward(const wchar_t* text, double percent);
    static void forwardDownload(qint64 received, qint64 total);
    void showDownload(qint64 received, qint64 total);

    // The library reports every network read; a log should get a line per
    // percent, not one per read.
    int m_shownPercent = -1;
    qint64 m_shownReceived = -1;
    qint64 m_shownTotal = -2;
};
