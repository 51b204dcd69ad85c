#include "KSqlStatement.h"

#include "KSqlConnection.h"
#include "KSqlDatabase.h"
#include "KSqlError.h"

#include <sqlite3.h>

#include <limits>

namespace KSQLite {

void KSqlStatement::StatementDeleter::operator()(sqlite3_stmt* statement) const noexcept
{
    sqlite3_finalize(statement);
}

KSqlStatement::KSqlStatement(const KSqlDatabase& database, const std::string& sql)
    : KSqlStatement(database.m_connection, sql)
{
}

KSqlStatement::KSqlStatement(
    const std::shared_ptr<KSqlConnection>& connection, const std::string& sql)
    : m_connection(connection)
{
    if (!connection)
        throw misuseError("cannot prepare statement: the database is not open");
    sqlite3* db = connection->handle();
    if (sql.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw KSqlException("cannot prepare statement: SQL text too long", SQLITE_TOOBIG);

    const char* tail = nullptr;
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, &tail);
    m_statement.reset(raw);
    if (rc != SQLITE_OK)
        throw sqlError(db, "cannot prepare statement");
    if (!raw)
        throw misuseError("cannot prepare statement: the SQL text holds no statement");

    // A second statement would silently never run; refuse it. Trailing
    // whitespace, semicolons and comments prepare to nothing and are fine.
    const int tailSize = static_cast<int>(sql.data() + sql.size() - tail);
    if (tailSize > 0) {
        sqlite3_stmt* rest = nullptr;
        const int restRc = sqlite3_prepare_v2(db, tail, tailSize, &rest, nullptr);
        sqlite3_finalize(rest);
        if (restRc != SQLITE_OK || rest)
            throw misuseError(
                "cannot prepare statement: the SQL text holds more than one statement");
    }
}

KSqlStatement::~KSqlStatement() = default;
KSqlStatement::KSqlStatement(KSqlStatement&&) noexcept = default;
KSqlStatement& KSqlStatement::operator=(KSqlStatement&&) noexcept = default;

std::shared_ptr<KSqlConnection> KSqlStatement::liveConnection() const
{
    auto connection = m_connection.lock();
    if (!connection || !m_statement)
        throw misuseError("the database of this statement has been closed");
    return connection;
}

void KSqlStatement::checkBind(int resultCode, int index) const
{
    if (resultCode != SQLITE_OK)
        throw sqlError(
            sqlite3_db_handle(m_statement.get()), "cannot bind parameter " + std::to_string(index));
}

void KSqlStatement::bindInt(int index, int value)
{
    liveConnection();
    checkBind(sqlite3_bind_int(m_statement.get(), index, value), index);
}

void KSqlStatement::bindInt64(int index, std::int64_t value)
{
    liveConnection();
    checkBind(sqlite3_bind_int64(m_statement.get(), index, value), index);
}

void KSqlStatement::bindDouble(int index, double value)
{
    liveConnection();
    checkBind(sqlite3_bind_double(m_statement.get(), index, value), index);
}

void KSqlStatement::bindText(int index, const std::string& utf8Value)
{
    liveConnection();
    checkBind(sqlite3_bind_text64(m_statement.get(), index, utf8Value.data(), utf8Value.size(),
                  SQLITE_TRANSIENT, SQLITE_UTF8),
        index);
}

void KSqlStatement::bindNull(int index)
{
    liveConnection();
    checkBind(sqlite3_bind_null(m_statement.get(), index), index);
}

void KSqlStatement::bindBlob(int index, const void* data, std::size_t size)
{
    liveConnection();
    // SQLite binds NULL for a null pointer; an empty blob is still a blob.
    if (size == 0)
        checkBind(sqlite3_bind_zeroblob(m_statement.get(), index, 0), index);
    else
        checkBind(
            sqlite3_bind_blob64(m_statement.get(), index, data, size, SQLITE_TRANSIENT), index);
}

void KSqlStatement::bindBlob(int index, const std::vector<unsigned char>& data)
{
    bindBlob(index, data.data(), data.size());
}

int KSqlStatement::parameterIndex(const std::string& name) const
{
    if (!m_statement)
        throw misuseError("the statement has been moved from");
    const int index = sqlite3_bind_parameter_index(m_statement.get(), name.c_str());
    if (index == 0)
        throw KSqlException("the statement has no parameter " + name, SQLITE_RANGE);
    return index;
}

int KSqlStatement::parameterCount() const noexcept
{
    return sqlite3_bind_parameter_count(m_statement.get());
}

void KSqlStatement::clearBindings()
{
    liveConnection();
    sqlite3_clear_bindings(m_statement.get());
}

bool KSqlStatement::step()
{
    const auto connection = liveConnection();
    const int rc = sqlite3_step(m_statement.get());
    m_hasRow = rc == SQLITE_ROW;
    if (rc == SQLITE_ROW || rc == SQLITE_DONE)
        return m_hasRow;
    KSqlException error = sqlError(connection->handle(), "cannot run statement");
    sqlite3_reset(m_statement.get());
    throw error;
}

int KSqlStatement::execute()
{
    while (step()) { }
    return sqlite3_changes(sqlite3_db_handle(m_statement.get()));
}

void KSqlStatement::reset()
{
    liveConnection();
    m_hasRow = false;
    // The result repeats the last step's failure, which step() already raised.
    sqlite3_reset(m_statement.get());
}

int KSqlStatement::columnCount() const noexcept
{
    return sqlite3_column_count(m_statement.get());
}

std::string KSqlStatement::columnName(int column) const
{
    if (column < 0 || column >= columnCount())
        throw KSqlException(
            "column index " + std::to_string(column) + " out of range", SQLITE_RANGE);
    const char* name = sqlite3_column_name(m_statement.get(), column);
    if (!name)
        throw KSqlException("out of memory reading a column name", SQLITE_NOMEM);
    return name;
}

int KSqlStatement::columnIndex(const std::string& name) const
{
    const int count = columnCount();
    for (int column = 0; column < count; ++column) {
        const char* candidate = sqlite3_column_name(m_statement.get(), column);
        if (candidate && sqlite3_stricmp(candidate, name.c_str()) == 0)
            return column;
    }
    throw KSqlException("the statement has no result column \"" + name + "\"", SQLITE_RANGE);
}

void KSqlStatement::checkColumn(int column) const
{
    if (!m_hasRow)
        throw misuseError("cannot read column " + std::to_string(column) + ": no current row");
    if (column < 0 || column >= columnCount())
        throw KSqlException("column index " + std::to_string(column) + " out of range 0.."
                + std::to_string(columnCount() - 1),
            SQLITE_RANGE);
}

KSqlColumnType KSqlStatement::columnType(int column) const
{
    checkColumn(column);
    return static_cast<KSqlColumnType>(sqlite3_column_type(m_statement.get(), column));
}

bool KSqlStatement::isNull(int column) const
{
    return columnType(column) == KSqlColumnType::Null;
}

int KSqlStatement::getInt(int column) const
{
    checkColumn(column);
    return sqlite3_column_int(m_statement.get(), column);
}

std::int64_t KSqlStatement::getInt64(int column) const
{
    checkColumn(column);
    return sqlite3_column_int64(m_statement.get(), column);
}

double KSqlStatement::getDouble(int column) const
{
    checkColumn(column);
    return sqlite3_column_double(m_statement.get(), column);
}

std::string KSqlStatement::getText(int column) const
{
    checkColumn(column);
    // Text first, then its size: the order SQLite asks for.
    const auto* text = sqlite3_column_text(m_statement.get(), column);
    const int size = sqlite3_column_bytes(m_statement.get(), column);
    if (!text)
        return std::string();
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
}

std::vector<unsigned char> KSqlStatement::getBlob(int column) const
{
    checkColumn(column);
    const auto* data
        = static_cast<const unsigned char*>(sqlite3_column_blob(m_statement.get(), column));
    const int size = sqlite3_column_bytes(m_statement.get(), column);
    if (!data)
        return {};
    return std::vector<unsigned char>(data, data + size);
}

bool KSqlStatement::hasRow() const noexcept
{
    return m_hasRow;
}

std::string KSqlStatement::sql() const
{
    const char* text = sqlite3_sql(m_statement.get());
    return text ? text : std::string();
}

sqlite3_stmt* KSqlStatement::handle() const noexcept
{
    return m_statement.get();
}

} // namespace KSQLite
