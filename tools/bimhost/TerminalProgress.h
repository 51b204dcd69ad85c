#pragma once

#include "ProgressDisplay.h"

// A text progress bar: "[#########...........]  45%  Fetching ...". On a
// terminal it is redrawn in place; elsewhere (a pipe, a log) each message
// becomes a line of its own, and a message that would repeat the previous
// line is left out.
class TerminalProgress : public ProgressDisplay
{
public:
    explicit TerminalProgress(bool redrawInPlace);
    ~TerminalProgress() override;

    void show(const QString& text, double percent) override;
    void finish() override;

    // The line drawn for one message, without any line end.
    static QString render(const QString& text, double percent);

private:
    bool m_redrawInPlace;
    int m_drawnWidth = 0; // characters of the line now on the terminal
    QString m_lastLine;
};
