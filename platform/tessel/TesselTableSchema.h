#pragma once

#include <bimcore/platform/tessel/TesselFieldSchemas.h>

/// The schema of a table: its fields and which of them is the primary key.
class TESSEL_EXPORT TesselTableSchema : public TesselHandle<ITesselTable>
{
public:
    using TesselHandle::TesselHandle;
    TesselFieldSchemas fieldSchemas() const { return TesselFieldSchemas(get()); }
    /// Index of the primary-key field among fieldSchemas(); -1 for none.
    int primaryKeyFieldIndex() const;
    /// -1 or an index below the field count; anything else raises KRVException.
    void setPrimaryKeyFieldIndex(int index);
    /// Index of the field with that exact name, or -1.
    int fieldIndex(const QString& name) const;
};
