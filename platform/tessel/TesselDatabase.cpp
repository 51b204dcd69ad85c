#include "TesselDatabase.h"

#include "internal/DatabaseObject.h"
#include "internal/Errors.h"

namespace {
DatabaseObject* object(const TesselRef<ITesselDatabase>& database)
{
    checkHandle(database.get(), "database");
    return DatabaseObject::from(database.get());
}
} // namespace

TesselDatabase::TesselDatabase(ITesselDatabase* database)
    : m_database(database)
{
}

QString TesselDatabase::name() const
{
    return object(m_database)->name();
}

TesselTables TesselDatabase::tables() const
{
    return TesselTables(object(m_database));
}

TesselTable TesselDatabase::addTable(const QString& name, TesselTableKind kind)
{
    return TesselTable(object(m_database)->addTable(name, kind));
}

TesselTables::TesselTables(ITesselDatabase* database)
    : m_database(database)
{
}

int TesselTables::count() const
{
    return object(m_database)->tableCount();
}

TesselTable TesselTables::items(int index) const
{
    return TesselTable(object(m_database)->table(index));
}

TesselTable TesselTables::find(const QString& name) const
{
    return TesselTable(object(m_database)->findTable(name));
}
