#include "TesselModelPersistent.h"

#include "internal/Errors.h"

TesselModelPersistent::TesselModelPersistent(const TesselModel& model)
    : m_model(model)
{
}

bool TesselModelPersistent::loadFromFile(const QString& path, bool readOnly, bool loadRecords)
{
    Q_UNUSED(readOnly);
    Q_UNUSED(loadRecords);
    raiseError(QStringLiteral("%1: loading is not available yet").arg(path));
}

void TesselModelPersistent::saveToFile(const QString& path) const
{
    raiseError(QStringLiteral("%1: saving is not available yet").arg(path));
}
