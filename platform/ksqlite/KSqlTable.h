#pragma once

#include <bimcore/platform/ksqlite/KSqlStatement.h>
#include <bimcore/platform/ksqlite/ksqlite_export.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace KSQLite {

// A read view of one table (or view) of a database, handed out by value. The
// column names are read once, on construction; the row count and the rows are
// read from the database on each call, so they follow its changes.
//
// A table whose database is null or unopened, or that does not exist, is
// invalid: no columns, rowCount() 0, rows() without rows. mustExist false (the
// project's choice) gives such a table, true raises KSqlException instead.
// Faults reading an existing table always raise, and so does reading a valid
// table once its database is closed or destroyed.
class KSQLITE_EXPORT KSqlTable
{
public:
    // An invalid table.
    KSqlTable() noexcept;
    // tableName is UTF-8 and matched as SQLite matches names.
    KSqlTable(KSqlDatabase* database, const std::string& tableName, bool mustExist);

    bool isValid() const noexcept { return !m_columnNames.empty(); }
    const std::string& name() const noexcept { return m_name; }
    // In the table's own order.
    const std::vector<std::string>& columnNames() const noexcept { return m_columnNames; }
    // Index of the column with that name (ASCII case-insensitive), or -1.
    int columnIndex(const std::string& name) const;

    std::int64_t rowCount() const;
    // Every row, all columns in the order of columnNames():
    //     for (auto rows = table.rows(); rows.step();) use(rows.getInt64(0));
    KSqlStatement rows() const;

private:
    std::shared_ptr<KSqlHandle> live() const;

    std::weak_ptr<KSqlHandle> m_database;
    std::string m_name;
    std::vector<std::string> m_columnNames;
};

} // namespace KSQLite
