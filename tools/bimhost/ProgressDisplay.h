#pragma once

#include <project/ProgressCallback.h>

#include <QString>

// Where the host shows the progress of opening and updating the project: the
// terminal or a progress window. The library's progress callback is a plain
// function, so one display at a time is made current for it.
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
};
