#include "LauncherSettings.h"

#ifdef Q_OS_WIN

#include <QSettings>

namespace bimcore {

QString launcherWorkspaceRoot(const QString& fallback)
{
    const QSettings registry(
        QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Plenar_Lanucher"),
        QSettings::NativeFormat);
    return registry.value(QStringLiteral("WorkSpace"), fallback).toString();
}

} // namespace bimcore

#endif
