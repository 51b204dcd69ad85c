#pragma once

#include <ksqlite/KSqlTableCursor.h>
#include <ksqlite/ksqlite_export.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace KSQLite {

class KSqlConnection;
class KSqlDatabase;

// A read view of one table (or view) of a database, handed out by value. The
// column names are read once, on construction; the row count and the rows are
// read from the database on each call, so they follow its changes.
//
// A table whose database pointer is null or unopened, or whose table does not
// exist, is invalid: isValid() is false, it has no columns, rowCount() is 0
// and rows() yields nothing. Whether the constructor allows that is what the
// flag says: mustExist false (the project's choice) gives such an invalid
// table, true raises KSqlException instead. Faults reading an existing table
// always raise.
//
// The table keeps the database pointer but does not own it. Once that database
// is closed or destroyed, rowCount() and rows() of a valid table raise
// KSqlException rather than touch a closed handle.
class KSQLITE_EXPORT KSqlTable
{
public:
    // An invalid table.
    KSqlTable() noexcept;
    // tableName is UTF-8 and matched as SQLite matches names.
    KSqlTable(KSqlDatabase* database, const std::string& tableName, bool mustExist);

    bool isValid() const noexcept;
    const std::string& name() const noexcept;
    KSqlDatabase* database() const noexcept;

    // Column names in the table's own order; empty when invalid.
    const std::vector<std::string>& columnNames() const noexcept;
    int columnCount() const noexcept;
    // Index of the column with that name (ASCII case-insensitive), -1 when
    // there is none.
    int columnIndex(const std::string& name) const;

    std::int64_t rowCount() const;
    // Every row, in the order SQLite stores them, all columns.
    KSqlTableCursor rows() const;

private:
    std::shared_ptr<KSqlConnection> liveConnection() const;

    KSqlDatabase* m_database = nullptr;
    std::weak_ptr<KSqlConnection> m_connection;
    std::string m_name;
    std::vector<std::string> m_columnNames;
    std::shared_ptr<const KSqlTableCursor::ColumnIndex> m_columnIndex;
    bool m_valid = false;
};

} // namespace KSQLite
