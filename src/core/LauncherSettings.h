#pragma once

#include <QString>

namespace bimcore {

// The workspace root the product's launcher recorded machine-wide, as the
// launcher wrote it, or `fallback` when it recorded none.
QString launcherWorkspaceRoot(const QString& fallback);

} // namespace bimcore
