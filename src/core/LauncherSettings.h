#pragma once

#include <QSettings>

#include <memory>

// The settings the product's launcher writes machine-wide, where the
// workspace root is read from. On Windows the registry key
// HKEY_LOCAL_MACHINE\SOFTWARE\Korvane\Plenar_Lanucher (GlobalWin.cpp);
// elsewhere the system-scope native settings of the same organisation and
// application (GlobalPosix.cpp).
std::unique_ptr<QSettings> openLauncherSettings();
