#include "DatabaseObject.h"

#include "Errors.h"

DatabaseObject::DatabaseObject(ChangeLogPtr log, const QString& name)
    : m_log(std::move(log))
    , m_name(name)
{
}

TableObject* DatabaseObject::table(int index) const
{
    checkIndex(index, tableCount(), "table of database \"%1\",", m_name);
    return m_tables[static_cast<size_t>(index)].get();
}

TableObject* DatabaseObject::findTable(const QString& name) const
{
    const int index = m_tableIndex.value(name, -1);
    return index < 0 ? nullptr : m_tables[static_cast<size_t>(index)].get();
}

TableObject* DatabaseObject::addTable(const QString& name, TesselTableKind kind)
{
    if (name.isEmpty())
        raiseError(QStringLiteral("a table of database \"%1\" needs a name").arg(m_name));
    if (m_tableIndex.contains(name))
        raiseError(QStringLiteral("database \"%1\" already has a table \"%2\"").arg(m_name, name));
    m_tables.emplace_back(new TableObject(m_log, name, kind));
    m_tableIndex.insert(name, tableCount() - 1);
    m_log->note();
    return m_tables.back().get();
}
