#pragma once

#include <QStringList>

// What the tools ask of the system they run on: their arguments, their
// output's line ends and the terminal their progress goes to (standard error).
namespace HostSystem {

// The program's arguments as the user typed them, whatever the code page.
QStringList arguments(int argc, char** argv);
// Standard output and error write "\n" as "\n" (Windows would make it "\r\n").
void plainLineEnds();
// Whether standard error is a terminal, where a bar can be redrawn in place.
bool errorIsTerminal();
// The width of that terminal in characters; 80 when it cannot be told.
int errorColumns();

} // namespace HostSystem
