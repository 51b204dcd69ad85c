#pragma once

#include <bimcore/platform/ksqlite/KSqlDatabase.h>
#include <cstdint>

struct sqlite3_stmt;

namespace KSQLite {
/// The name as an SQL identifier: in double quotes, every double quote inside
/// doubled, so that any UTF-8 text names exactly that table or column.
KSQLITE_EXPORT std::string quoteIdentifier(const std::string& name);

struct KSQLITE_EXPORT KSqlStatementFinalizer
{
    void operator()(sqlite3_stmt* statement) const noexcept;
};

/// One prepared statement; parameters count from 1, columns from 0. Every
/// failure raises KSqlException, reading a column out of range or without a
/// current row and any use after the database was closed included.
class KSQLITE_EXPORT KSqlStatement
{
public:
    /// A statement without rows: step() returns false.
    KSqlStatement() noexcept = default;
    /// Prepares sql; raises when the database is not open, the SQL is invalid
    /// or holds more than one statement.
    KSqlStatement(const KSqlDatabase& database, const std::string& sql);

    void bindInt64(int index, std::int64_t value);
    void bindDouble(int index, double value);
    void bindText(int index, const std::string& utf8Value);

    /// Advances to the next row: true when there is one, false at the end.
    bool step();
    /// Runs the statement to its end and makes it ready to run again with the
    /// same bindings; returns the rows it changed.
    int execute();

    int columnCount() const noexcept;

    /// The current row, converted as SQLite converts.
    bool isNull(int column) const;
    int getInt(int column) const;
    std::int64_t getInt64(int column) const;
    double getDouble(int column) const;
    std::string getText(int column) const;

    /// For loops over many rows that read with sqlite3_column_* directly.
    /// Owned by this object.
    sqlite3_stmt* handle() const noexcept { return m_statement.get(); }

private:
    friend class KSqlTable;

    KSqlStatement(const std::shared_ptr<KSqlHandle>& database, const std::string& sql);

    sqlite3_stmt* live() const;
    void checkBind(int resultCode, int index) const;
    /// The statement, when column can be read from its current row; raises if not.
    sqlite3_stmt* row(int column) const;

    std::weak_ptr<KSqlHandle> m_database;
    std::unique_ptr<sqlite3_stmt, KSqlStatementFinalizer> m_statement;
    bool m_hasRow = false;
};
} // namespace KSQLite
