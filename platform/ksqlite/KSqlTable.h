#pragma once

#include <bimcore/platform/ksqlite/KSqlStatement.h>
#include <vector>

namespace KSQLite {
/// A read view of one table of a database. A table that does not exist (or
/// whose database is not open) is invalid, without rows, unless mustExist
/// makes that raise KSqlException; reading after the database closed raises.
class KSQLITE_EXPORT KSqlTable
{
public:
    /// An invalid table.
    KSqlTable() noexcept = default;
    /// tableName is UTF-8 and matched as SQLite matches names.
    KSqlTable(KSqlDatabase* database, const std::string& tableName, bool mustExist);

    bool isValid() const noexcept { return !m_columnNames.empty(); }
    const std::string& name() const noexcept { return m_name; }

    std::int64_t rowCount() const;
    /// Every row, all columns in the table's own order:
    ///     for (auto rows = table.rows(); rows.step();) use(rows.getInt64(0));
    KSqlStatement rows() const;

private:
    std::shared_ptr<KSqlHandle> live() const;

    std::weak_ptr<KSqlHandle> m_database;
    std::string m_name;
    std::vector<std::string> m_columnNames;
};
} // namespace KSQLite
