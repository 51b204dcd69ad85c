#pragma once

// What the host knows of the terminal its progress goes to (standard error).
namespace Terminal {

// Whether standard error is a terminal, where a bar can be redrawn in place.
bool errorIsTerminal();
// The width of that terminal in characters; 80 when it cannot be told.
int errorColumns();

} // namespace Terminal
