#include "BIMProgressBar.h"

#include <QFontMetrics>
#include <QString>

namespace bimcore {

namespace {

// Room the style takes around the label of a bar, with a little to spare.
constexpr int kLabelMargin = 24;

// A top-level bar has no layout to give it room: it takes its size hint,
// about 200 px, which cuts a project's name in two. It grows to hold its
// text at 100%, the widest its percentage gets; a child bar is left to the
// layout of its parent.
void fitWindowToText(ProgressBar& bar)
{
    if (!bar.isWindow())
        return;
    const QString widest = bar.prompt().isEmpty() ? QStringLiteral("100%")
                                                  : bar.prompt() + QStringLiteral("  100%");
    const int needed = QFontMetrics(bar.font()).horizontalAdvance(widest) + kLabelMargin;
    if (needed > bar.minimumWidth())
        bar.setMinimumWidth(needed);
}

} // namespace

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
    fitWindowToText(*this);
}

} // namespace bimcore
