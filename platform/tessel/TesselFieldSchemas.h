#pragma once

#include <tessel/TesselEnums.h>
#include <tessel/TesselFieldSchema.h>
#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>
#include <tessel/tessel_export.h>

#include <QString>

// The ordered field schemas of a table.
class TESSEL_EXPORT TesselFieldSchemas : public TesselHandle<ITesselTable>
{
public:
    using TesselHandle::TesselHandle;

    int count() const;
    // The index-th field; an index out of range raises KRVException.
    TesselFieldSchema items(int index) const { return TesselFieldSchema(get(), index); }
    // Appends a field; records already in the table get its type's empty
    // value (0, 0.0 or ""). A name already used, an empty name or
    // tdtUnknown raises KRVException.
    TesselFieldSchema add(const QString& name, TesselDataType type);
};
