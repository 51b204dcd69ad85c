#pragma once

#include <QString>

// The host's text for the user, UTF-8 encoded: results on standard output, so
// that they can be piped on; progress and the one line that says what went
// wrong on standard error.
namespace Console {

// Writes the text followed by a line end.
void line(const QString& text = QString());
// Writes the text as it is and flushes.
void raw(const QString& text);
void error(const QString& text);
// Progress: a line, or text redrawn in place, on standard error.
void progressLine(const QString& text);
void progressRaw(const QString& text);
// True when standard error is a terminal, where progress is redrawn in place.
bool progressIsTerminal();

} // namespace Console
