#pragma once

#include <tessel/TesselEnums.h>
#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>
#include <tessel/TesselTable.h>
#include <tessel/TesselTables.h>
#include <tessel/tessel_export.h>

#include <QString>

// A named database of a model (projects keep their tables in "DB").
// Operations on a null handle raise KRVException.
class TESSEL_EXPORT TesselDatabase
{
public:
    TesselDatabase() = default;
    explicit TesselDatabase(ITesselDatabase* database);

    bool isNull() const noexcept { return !m_database; }
    explicit operator bool() const noexcept { return !isNull(); }
    ITesselDatabase* get() const noexcept { return m_database.get(); }
    bool operator==(const TesselDatabase& other) const noexcept
    {
        return m_database == other.m_database;
    }
    bool operator!=(const TesselDatabase& other) const noexcept { return !(*this == other); }

    QString name() const;
    TesselTables tables() const;
    // Appends an empty table (no fields, no primary key). An empty name or a
    // name already used in this database raises KRVException.
    TesselTable addTable(const QString& name, TesselTableKind kind = ttkOrdinary);

private:
    TesselRef<ITesselDatabase> m_database;
};
