#pragma once

#include <QString>

// The host's text for the user, UTF-8 encoded: results and progress on
// standard output, the one line that says what went wrong on standard error.
namespace Console {

// Writes the text followed by a line end.
void line(const QString& text = QString());
// Writes the text as it is and flushes, for progress redrawn in place.
void raw(const QString& text);
void error(const QString& text);
// True when standard output is a terminal, where progress is redrawn in place.
bool outputIsTerminal();

} // namespace Console
