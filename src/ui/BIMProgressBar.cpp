#include "BIMProgressBar.h"

#include <QString>

BIMProgressBar::BIMProgressBar(QWidget* parent)
    : ProgressBar(parent, 0, 100)
{
}

BIMProgressBar::~BIMProgressBar() = default;

void BIMProgressBar::SetVisible(bool visible)
{
    if (visible)
        ShowImmediately();
    else
        hide();
}

void BIMProgressBar::SetMaximum(int maximum)
{
    SetMaxRange(maximum);
}

void BIMProgressBar::UpdateValue(int value)
{
    UpdateProgress(value);
}

void BIMProgressBar::SetDescription(const wchar_t* text)
{
    // fromWCharArray reads UTF-16 or UCS-4 according to the width of wchar_t.
    UpdatePrompt(text ? QString::fromWCharArray(text) : QString());
}
