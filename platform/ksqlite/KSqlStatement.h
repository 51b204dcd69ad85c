#pragma once

#include <ksqlite/KSqlColumnType.h>
#include <ksqlite/ksqlite_export.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sqlite3_stmt;

namespace KSQLite {

class KSqlConnection;
class KSqlDatabase;

// One prepared statement. Parameters are numbered from 1 as in SQL ("?",
// "?NNN", ":name"); columns from 0. Every failure raises KSqlException with
// SQLite's message; reading a column index out of range or without a current
// row raises too (SQLite itself would hand back a silent NULL). Movable, not
// copyable. Using a statement after its database was closed raises.
class KSQLITE_EXPORT KSqlStatement
{
public:
    // Prepares the first statement of sql; raises when the database is not
    // open, the SQL is invalid, or more than one statement is given.
    KSqlStatement(const KSqlDatabase& database, const std::string& sql);
    ~KSqlStatement();

    KSqlStatement(KSqlStatement&&) noexcept;
    KSqlStatement& operator=(KSqlStatement&&) noexcept;
    KSqlStatement(const KSqlStatement&) = delete;
    KSqlStatement& operator=(const KSqlStatement&) = delete;

    // Parameter binding; the value is copied, so it need not outlive the call.
    void bindInt(int index, int value);
    void bindInt64(int index, std::int64_t value);
    void bindDouble(int index, double value);
    void bindText(int index, const std::string& utf8Value);
    void bindNull(int index);
    void bindBlob(int index, const void* data, std::size_t size);
    void bindBlob(int index, const std::vector<unsigned char>& data);
    // Index of a named parameter (":name", "@name", "$name", with its prefix);
    // raises when the statement has no such parameter.
    int parameterIndex(const std::string& name) const;
    int parameterCount() const noexcept;
    // Sets every parameter back to NULL.
    void clearBindings();

    // Advances to the next row: true when a row is available, false when the
    // statement has finished.
    bool step();
    // Runs a statement without results to its end; returns the number of rows
    // it changed.
    int execute();
    // Makes the statement ready to run again; bindings are kept.
    void reset();

    int columnCount() const noexcept;
    std::string columnName(int column) const;
    // Index of the result column with that name (ASCII case-insensitive);
    // raises when there is none.
    int columnIndex(const std::string& name) const;

    // Typed access to the current row. Values convert as SQLite converts them
    // (a NULL reads as 0, 0.0, an empty text or blob).
    KSqlColumnType columnType(int column) const;
    bool isNull(int column) const;
    int getInt(int column) const;
    std::int64_t getInt64(int column) const;
    double getDouble(int column) const;
    std::string getText(int column) const;
    std::vector<unsigned char> getBlob(int column) const;

    // True while step() has returned true and the statement was not reset.
    bool hasRow() const noexcept;
    // The SQL text as prepared.
    std::string sql() const;
    // The raw handle for the wrapper's own use; owned by this object.
    sqlite3_stmt* handle() const noexcept;

private:
    friend class KSqlTable;

    // For tables, which keep no KSqlDatabase of their own to hand over.
    KSqlStatement(const std::shared_ptr<KSqlConnection>& connection, const std::string& sql);

    struct StatementDeleter
    {
        void operator()(sqlite3_stmt* statement) const noexcept;
    };

    void checkColumn(int column) const;
    void checkBind(int resultCode, int index) const;
    std::shared_ptr<KSqlConnection> liveConnection() const;

    std::weak_ptr<KSqlConnection> m_connection;
    std::unique_ptr<sqlite3_stmt, StatementDeleter> m_statement;
    bool m_hasRow = false;
};

} // namespace KSQLite
