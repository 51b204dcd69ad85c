#pragma once

#include <bimcore/platform/controls/controls_export.h>
#include <QProgressBar>
#include <QString>

/// A progress bar that shows a prompt before its percentage, for long work
/// that runs on the user-interface thread: new values and prompts are painted
/// at once, so the bar stays current even while the event loop does not turn.
class CONTROLS_EXPORT ProgressBar : public QProgressBar
{
    Q_OBJECT

public:
    /// minimum and maximum are the bar's initial range; the value starts at
    /// minimum.
    ProgressBar(QWidget* parent, int minimum, int maximum);

    /// Shows the bar and paints it before returning, without waiting for the
    /// event loop. A window that was hidden is first given up to 200 ms to be
    /// exposed by the window system; window-system events, timers and posted
    /// events are delivered meanwhile, user input is not.
    void ShowImmediately();

    /// Sets the upper bound; a bound below the minimum moves the minimum down
    /// with it, as QProgressBar does. The value is clamped into the new range.
    void SetMaxRange(int maximum);

    /// Sets the value, clamped into the range, so that work reporting past
    /// its estimate shows a full bar instead of a stale one.
    void UpdateProgress(int value);

    /// The text shown before the percentage; empty shows the percentage alone.
    void UpdatePrompt(QString prompt);

    QString prompt() const { return m_prompt; }

    /// How many paints ShowImmediately has forced so far.
    int immediatePaintCount() const { return m_immediatePaints; }

    QString text() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void waitUntilExposed();

    QString m_prompt;
    int m_immediatePaints { 0 };
    bool m_inShowImmediately { false };
};
