#pragma once

#include <bimcore/platform/tessel/TesselTables.h>

/// A named database of a model (projects keep their tables in "DB").
class TESSEL_EXPORT TesselDatabase : public TesselHandle<ITesselDatabase>
{
public:
    using TesselHandle::TesselHandle;
    QString name() const;
    TesselTables tables() const { return TesselTables(get()); }
    /// Appends an empty table (no fields, no primary key). An empty name or a
    /// name already used in this database raises KRVException.
    TesselTable addTable(const QString& name, TesselTableKind kind = ttkOrdinary);
};
