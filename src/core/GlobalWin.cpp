#include <QtGlobal>

#ifdef Q_OS_WIN

#include "LauncherSettings.h"

std::unique_ptr<QSettings> openLauncherSettings()
{
    return std::make_unique<QSettings>(
        QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Plenar_Lanucher"),
        QSettings::NativeFormat);
}

#endif
