#include "ProgressBar.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWindow>
#include <QtGlobal>
#include <utility>

ProgressBar::ProgressBar(QWidget* parent, int minimum, int maximum)
    : QProgressBar(parent)
{
    setRange(minimum, maximum);
    setValue(minimum);
    setAlignment(Qt::AlignCenter);
    setTextVisible(true);
}

void ProgressBar::ShowImmediately()
{
    m_inShowImmediately = true;
    show();
    waitUntilExposed();
    // repaint() paints synchronously; show() alone would only queue an update.
    repaint();
    m_inShowImmediately = false;
}

void ProgressBar::waitUntilExposed()
{
    if (!isVisible())
        return;
    QWidget* const topLevel = window();
    const QWindow* const handle = topLevel->windowHandle();
    if (!handle)
        return;
    // Right after a hide the platform may still call the window exposed;
    // the widget's own mapped flag follows the expose events it has seen.
    const auto exposed = [topLevel, handle] {
        return handle->isExposed() && topLevel->testAttribute(Qt::WA_Mapped);
    };
    // A newly shown window can be painted only once the window system has
    // exposed it. User input stays queued so that no click reaches the
    // caller's widgets while it is in the middle of its work.
    constexpr int exposeTimeoutMs = 200;
    QElapsedTimer elapsed;
    elapsed.start();
    while (!exposed() && elapsed.elapsed() < exposeTimeoutMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (!exposed())
            QThread::msleep(1);
    }
}

void ProgressBar::SetMaxRange(int maximum)
{
    // QProgressBar forgets a value that falls outside a new range; keep the
    // bar full instead.
    const int current = value();
    setMaximum(maximum);
    if (current > this->maximum())
        setValue(this->maximum());
}

void ProgressBar::UpdateProgress(int value)
{
    // QProgressBar silently drops values outside its range.
    setValue(qBound(minimum(), value, maximum()));
}

void ProgressBar::UpdatePrompt(QString prompt)
{
    if (prompt == m_prompt)
        return;
    m_prompt = std::move(prompt);
    if (isVisible())
        repaint();
}

QString ProgressBar::text() const
{
    const QString percentage = QProgressBar::text();
    if (m_prompt.isEmpty())
        return percentage;
    if (percentage.isEmpty())
        return m_prompt;
    return m_prompt + QStringLiteral("  ") + percentage;
}

void ProgressBar::paintEvent(QPaintEvent* event)
{
    if (m_inShowImmediately)
        ++m_immediatePaints;
    QProgressBar::paintEvent(event);
}
