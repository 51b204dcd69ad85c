#pragma once

#include <QLoggingCategory>

// The library's own logging categories. Each is declared at QtWarningMsg and
// the library logs its causes at debug level only, so nothing reaches the
// log unless the host turns a category on, e.g.
// QT_LOGGING_RULES="bimcore.*.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcCore)
Q_DECLARE_LOGGING_CATEGORY(lcStorage)
Q_DECLARE_LOGGING_CATEGORY(lcProject)
Q_DECLARE_LOGGING_CATEGORY(lcNetwork)
