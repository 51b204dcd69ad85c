#pragma once

#include <QString>

// The workspace root the product's launcher recorded machine-wide, as the
// launcher wrote it, or `fallback` when it recorded none.
QString launcherWorkspaceRoot(const QString& fallback);
