#pragma once

#include <tessel/TesselEnums.h>
#include <tessel/TesselFieldSchema.h>
#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>
#include <tessel/tessel_export.h>

#include <QString>

// The ordered field schemas of a table. Operations on a null handle raise
// KRVException.
class TESSEL_EXPORT TesselFieldSchemas
{
public:
    TesselFieldSchemas() = default;
    explicit TesselFieldSchemas(ITesselTable* table);

    bool isNull() const noexcept { return !m_table; }
    explicit operator bool() const noexcept { return !isNull(); }

    int count() const;
    // The index-th field; an index out of range raises KRVException.
    TesselFieldSchema items(int index) const;
    // The field with that exact name, or a null handle.
    TesselFieldSchema find(const QString& name) const;
    // Appends a field; records already in the table get its type's empty
    // value (0, 0.0 or ""). A name already used, an empty name or
    // tdtUnknown raises KRVException.
    TesselFieldSchema add(const QString& name, TesselDataType type);

private:
    TesselRef<ITesselTable> m_table;
};
