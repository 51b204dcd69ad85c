#pragma once

#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>
#include <tessel/TesselTable.h>
#include <tessel/tessel_export.h>

#include <QString>

// The ordered tables of one database. Operations on a null handle raise
// KRVException.
class TESSEL_EXPORT TesselTables
{
public:
    TesselTables() = default;
    explicit TesselTables(ITesselDatabase* database);

    bool isNull() const noexcept { return !m_database; }
    explicit operator bool() const noexcept { return !isNull(); }

    int count() const;
    // The index-th table; an index out of range raises KRVException.
    TesselTable items(int index) const;
    // The table with that exact name, or a null handle.
    TesselTable find(const QString& name) const;

private:
    TesselRef<ITesselDatabase> m_database;
};
