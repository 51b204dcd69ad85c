#include "KSqlTable.h"
#include <sqlite3.h>

namespace KSQLite {
KSqlTable::KSqlTable(KSqlDatabase* database, const std::string& tableName, bool mustExist)
    : m_name(tableName)
{
    if (!database || !database->isOpen()) {
        if (mustExist)
            throw KSqlException(
                "cannot read table \"" + tableName + "\": the database is not open", SQLITE_MISUSE);
        return;
    }
    m_database = database->m_handle;
    // The name is bound, not pasted: pragma_table_info takes it as a value.
    KSqlStatement columns(database->m_handle, "SELECT name FROM pragma_table_info(?1)");
    columns.bindText(1, tableName);
    while (columns.step())
        m_columnNames.push_back(columns.getText(0));
    // Every table and view has at least one column, so none means no table.
    if (m_columnNames.empty() && mustExist)
        throw KSqlException("no such table: " + tableName, SQLITE_ERROR);
}

std::shared_ptr<KSqlHandle> KSqlTable::live() const
{
    auto database = m_database.lock();
    if (!database)
        throw KSqlException(
            "cannot read table \"" + m_name + "\": its database has been closed", SQLITE_MISUSE);
    return database;
}

std::int64_t KSqlTable::rowCount() const
{
    if (!isValid())
        return 0;
    KSqlStatement count(live(), "SELECT count(*) FROM " + quoteIdentifier(m_name));
    count.step();
    return count.getInt64(0);
}

KSqlStatement KSqlTable::rows() const
{
    if (!isValid())
        return KSqlStatement();
    std::string columns;
    for (const std::string& column : m_columnNames)
        columns += (columns.empty() ? "" : ", ") + quoteIdentifier(column);
    return KSqlStatement(live(), "SELECT " + columns + " FROM " + quoteIdentifier(m_name));
}
} // namespace KSQLite
