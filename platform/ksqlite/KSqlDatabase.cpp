#include "KSqlDatabase.h"

#include "KSqlConnection.h"
#include "KSqlError.h"
#include "KSqlStatement.h"

#include <sqlite3.h>

namespace KSQLite {

KSqlDatabase::KSqlDatabase() noexcept = default;

KSqlDatabase::~KSqlDatabase() = default;

bool KSqlDatabase::Open(const std::string& utf8Path, bool readWrite)
{
    Close();
    m_connection = std::make_shared<KSqlConnection>(utf8Path, readWrite);
    return true;
}

void KSqlDatabase::Close() noexcept
{
    m_connection.reset();
}

bool KSqlDatabase::isOpen() const noexcept
{
    return m_connection != nullptr;
}

std::string KSqlDatabase::path() const
{
    return m_connection ? m_connection->path() : std::string();
}

int KSqlDatabase::exec(const std::string& sql)
{
    if (!m_connection)
        throw misuseError("cannot run SQL: the database is not open");
    sqlite3* db = m_connection->handle();
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw sqlError(db, "cannot run SQL");
    return sqlite3_changes(db);
}

bool KSqlDatabase::tableExists(const std::string& tableName) const
{
    if (!m_connection)
        return false;
    KSqlStatement query(*this,
        "SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view') AND name = ?1 COLLATE NOCASE");
    query.bindText(1, tableName);
    return query.step();
}

std::int64_t KSqlDatabase::lastInsertRowId() const noexcept
{
    return m_connection ? sqlite3_last_insert_rowid(m_connection->handle()) : 0;
}

sqlite3* KSqlDatabase::handle() const noexcept
{
    return m_connection ? m_connection->handle() : nullptr;
}

} // namespace KSQLite
