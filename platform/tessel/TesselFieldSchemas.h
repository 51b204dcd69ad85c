#pragma once

#include <bimcore/platform/tessel/TesselFieldSchema.h>

/// The ordered field schemas of a table.
class TESSEL_EXPORT TesselFieldSchemas : public TesselHandle<ITesselTable>
{
public:
    using TesselHandle::TesselHandle;
    int count() const;
    /// The index-th field; an index out of range raises KRVException.
    TesselFieldSchema items(int index) const { return TesselFieldSchema(get(), index); }
    /// Appends a field; records already in the table get its type's empty
    /// value (0, 0.0 or ""). A name already used, an empty name or
    /// tdtUnknown raises KRVException.
    TesselFieldSchema add(const QString& name, TesselDataType type);
};
