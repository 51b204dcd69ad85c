#include "Logging.h"

Q_LOGGING_CATEGORY(lcCore, "bimcore.core", QtWarningMsg)
Q_LOGGING_CATEGORY(lcStorage, "bimcore.storage", QtWarningMsg)
Q_LOGGING_CATEGORY(lcProject, "bimcore.project", QtWarningMsg)
Q_LOGGING_CATEGORY(lcNetwork, "bimcore.network", QtWarningMsg)
