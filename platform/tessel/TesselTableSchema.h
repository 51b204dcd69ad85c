#pragma once

#include <tessel/TesselFieldSchemas.h>
#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>
#include <tessel/tessel_export.h>

#include <QString>

// The schema of a table: its fields and which of them is the primary key.
// Operations on a null handle raise KRVException.
class TESSEL_EXPORT TesselTableSchema
{
public:
    TesselTableSchema() = default;
    explicit TesselTableSchema(ITesselTable* table);

    bool isNull() const noexcept { return !m_table; }
    explicit operator bool() const noexcept { return !isNull(); }

    TesselFieldSchemas fieldSchemas() const;
    // Index of the primary-key field among fieldSchemas(); -1 when the table
    // has no primary key.
    int primaryKeyFieldIndex() const;
    // -1 or an index below the field count; anything else raises KRVException.
    void setPrimaryKeyFieldIndex(int index);
    // Index of the field with that exact name, or -1 (one hash lookup).
    int fieldIndex(const QString& name) const;

private:
    TesselRef<ITesselTable> m_table;
};
