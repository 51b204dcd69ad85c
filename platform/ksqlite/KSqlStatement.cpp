#include "KSqlStatement.h"
#include <sqlite3.h>

namespace KSQLite {
std::string quoteIdentifier(const std::string& name)
{
    std::string quoted = "\"";
    for (const char c : name)
        quoted += c == '"' ? std::string(2, c) : std::string(1, c);
    return quoted + '"';
}

void KSqlStatementFinalizer::operator()(sqlite3_stmt* statement) const noexcept
{
    sqlite3_finalize(statement);
}

KSqlStatement::KSqlStatement(const KSqlDatabase& database, const std::string& sql)
    : KSqlStatement(database.m_handle, sql)
{
}

KSqlStatement::KSqlStatement(const std::shared_ptr<KSqlHandle>& database, const std::string& sql)
    : m_database(database)
{
    if (!database)
        throw KSqlException("cannot prepare statement: the database is not open", SQLITE_MISUSE);
    sqlite3* db = database->get();
    const char* tail = nullptr;
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, &tail);
    m_statement.reset(raw);
    if (rc != SQLITE_OK)
        throw KSqlException::lastError(db, "cannot prepare statement");
    if (!raw)
        throw KSqlException(
            "cannot prepare statement: the SQL text holds no statement", SQLITE_MISUSE);
    // A second statement would silently never run.
    sqlite3_stmt* rest = nullptr;
    const int restRc = sqlite3_prepare_v2(db, tail, -1, &rest, nullptr);
    sqlite3_finalize(rest);
    if (restRc != SQLITE_OK || rest)
        throw KSqlException(
            "cannot prepare statement: the SQL text holds more than one statement", SQLITE_MISUSE);
}

sqlite3_stmt* KSqlStatement::live() const
{
    if (m_database.expired())
        throw KSqlException("the database of this statement has been closed", SQLITE_MISUSE);
    return m_statement.get();
}

void KSqlStatement::checkBind(int resultCode, int index) const
{
    if (resultCode != SQLITE_OK)
        throw KSqlException::lastError(
            sqlite3_db_handle(m_statement.get()), "cannot bind parameter " + std::to_string(index));
}

void KSqlStatement::bindInt64(int index, std::int64_t value)
{
    checkBind(sqlite3_bind_int64(live(), index, value), index);
}

void KSqlStatement::bindDouble(int index, double value)
{
    checkBind(sqlite3_bind_double(live(), index, value), index);
}

void KSqlStatement::bindText(int index, const std::string& utf8Value)
{
    checkBind(sqlite3_bind_text64(
                  live(), index, utf8Value.data(), utf8Value.size(), SQLITE_TRANSIENT, SQLITE_UTF8),
        index);
}

bool KSqlStatement::step()
{
    if (!m_statement)
        return false;
    const int rc = sqlite3_step(live());
    m_hasRow = rc == SQLITE_ROW;
    if (rc == SQLITE_ROW || rc == SQLITE_DONE)
        return m_hasRow;
    KSqlException error
        = KSqlException::lastError(sqlite3_db_handle(m_statement.get()), "cannot run statement");
    sqlite3_reset(m_statement.get());
    throw error;
}

int KSqlStatement::execute()
{
    while (step()) { }
    // The result repeats the last step's failure, which step() already raised.
    sqlite3_reset(live());
    return sqlite3_changes(sqlite3_db_handle(m_statement.get()));
}

int KSqlStatement::columnCount() const noexcept
{
    return sqlite3_column_count(m_statement.get());
}

sqlite3_stmt* KSqlStatement::row(int column) const
{
    if (!m_hasRow)
        throw KSqlException(
            "cannot read column " + std::to_string(column) + ": no current row", SQLITE_MISUSE);
    if (column < 0 || column >= columnCount())
        throw KSqlException("column index " + std::to_string(column) + " out of range 0.."
                + std::to_string(columnCount() - 1),
            SQLITE_RANGE);
    return m_statement.get();
}

bool KSqlStatement::isNull(int column) const
{
    return sqlite3_column_type(row(column), column) == SQLITE_NULL;
}

int KSqlStatement::getInt(int column) const
{
    return sqlite3_column_int(row(column), column);
}

std::int64_t KSqlStatement::getInt64(int column) const
{
    return sqlite3_column_int64(row(column), column);
}

double KSqlStatement::getDouble(int column) const
{
    return sqlite3_column_double(row(column), column);
}

std::string KSqlStatement::getText(int column) const
{
    // Text first, then its size: the order SQLite asks for.
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row(column), column));
    const int size = sqlite3_column_bytes(m_statement.get(), column);
    return text ? std::string(text, static_cast<std::size_t>(size)) : std::string();
}
} // namespace KSQLite
