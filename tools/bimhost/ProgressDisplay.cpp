#include "ProgressDisplay.h"

namespace {
ProgressDisplay* currentDisplay = nullptr;
}

ProgressDisplay::~ProgressDisplay() = default;

ProgressCallback ProgressDisplay::callback()
{
    return &ProgressDisplay::forward;
}

void ProgressDisplay::forward(const wchar_t* text, double percent)
{
    if (!currentDisplay)
        return;
    currentDisplay->show(text ? QString::fromWCharArray(text) : QString(), percent);
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
