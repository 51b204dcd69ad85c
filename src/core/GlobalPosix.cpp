#include <QtGlobal>

#ifndef Q_OS_WIN

#include "LauncherSettings.h"

std::unique_ptr<QSettings> openLauncherSettings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::SystemScope,
        QStringLiteral("Korvane"), QStringLiteral("Plenar_Lanucher"));
}

#endif
