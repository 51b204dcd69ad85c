#include "KSqlTable.h"

#include "KSqlAsciiLower.h"
#include "KSqlDatabase.h"
#include "KSqlError.h"
#include "KSqlIdentifier.h"
#include "KSqlStatement.h"

#include <sqlite3.h>

namespace KSQLite {

namespace {
const std::vector<std::string> noColumns;
} // namespace

KSqlTable::KSqlTable() noexcept = default;

KSqlTable::KSqlTable(KSqlDatabase* database, const std::string& tableName, bool mustExist)
    : m_database(database)
    , m_name(tableName)
{
    if (!database || !database->isOpen()) {
        if (mustExist)
            throw misuseError("cannot read table \"" + tableName + "\": the database is not open");
        return;
    }
    m_connection = database->m_connection;

    // The name is bound, not pasted: pragma_table_info takes it as a value.
    KSqlStatement columns(database->m_connection, "SELECT name FROM pragma_table_info(?1)");
    columns.bindText(1, tableName);
    auto index = std::make_shared<KSqlTableCursor::ColumnIndex>();
    while (columns.step()) {
        std::string column = columns.getText(0);
        index->emplace(asciiLower(column), static_cast<int>(m_columnNames.size()));
        m_columnNames.push_back(std::move(column));
    }
    // Every table and view has at least one column, so none means no table.
    if (m_columnNames.empty()) {
        if (mustExist)
            throw KSqlException("no such table: " + tableName, SQLITE_ERROR);
        return;
    }
    m_columnIndex = std::move(index);
    m_valid = true;
}

bool KSqlTable::isValid() const noexcept
{
    return m_valid;
}

const std::string& KSqlTable::name() const noexcept
{
    return m_name;
}

KSqlDatabase* KSqlTable::database() const noexcept
{
    return m_database;
}

const std::vector<std::string>& KSqlTable::columnNames() const noexcept
{
    return m_valid ? m_columnNames : noColumns;
}

int KSqlTable::columnCount() const noexcept
{
    return m_valid ? static_cast<int>(m_columnNames.size()) : 0;
}

int KSqlTable::columnIndex(const std::string& name) const
{
    if (!m_valid)
        return -1;
    const auto found = m_columnIndex->find(asciiLower(name));
    return found == m_columnIndex->end() ? -1 : found->second;
}

std::shared_ptr<KSqlConnection> KSqlTable::liveConnection() const
{
    auto connection = m_connection.lock();
    if (!connection)
        throw misuseError("cannot read table \"" + m_name + "\": its database has been closed");
    return connection;
}

std::int64_t KSqlTable::rowCount() const
{
    if (!m_valid)
        return 0;
    KSqlStatement count(liveConnection(), "SELECT count(*) FROM " + quoteIdentifier(m_name));
    count.step();
    return count.getInt64(0);
}

KSqlTableCursor KSqlTable::rows() const
{
    if (!m_valid)
        return KSqlTableCursor();
    // Columns listed by name so that cursor indexes follow columnNames().
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < m_columnNames.size(); ++i) {
        if (i > 0)
            sql += ", ";
        sql += quoteIdentifier(m_columnNames[i]);
    }
    sql += " FROM " + quoteIdentifier(m_name);
    return KSqlTableCursor(KSqlStatement(liveConnection(), sql), m_columnIndex);
}

} // namespace KSQLite
