#pragma once

#include <ksqlite/KSqlColumnType.h>
#include <ksqlite/KSqlStatement.h>
#include <ksqlite/ksqlite_export.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace KSQLite {

// Walks the rows of one KSqlTable:
//     for (auto rows = table.rows(); rows.next();) use(rows.getInt64("id"));
// Columns are addressed by index (the order of KSqlTable::columnNames()) or by
// name (ASCII case-insensitive). A cursor over an invalid table has no rows.
// Movable, not copyable.
class KSQLITE_EXPORT KSqlTableCursor
{
public:
    // Lower-cased column name to index, shared with the table it came from.
    using ColumnIndex = std::unordered_map<std::string, int>;

    KSqlTableCursor(KSqlTableCursor&&) noexcept;
    KSqlTableCursor& operator=(KSqlTableCursor&&) noexcept;
    ~KSqlTableCursor();

    // Moves to the next row; false when there is none left.
    bool next();

    int columnCount() const noexcept;
    // Raises KSqlException for an unknown name.
    int columnIndex(const std::string& name) const;

    KSqlColumnType columnType(int column) const;
    bool isNull(int column) const;
    int getInt(int column) const;
    std::int64_t getInt64(int column) const;
    double getDouble(int column) const;
    std::string getText(int column) const;
    std::vector<unsigned char> getBlob(int column) const;

    KSqlColumnType columnType(const std::string& column) const;
    bool isNull(const std::string& column) const;
    int getInt(const std::string& column) const;
    std::int64_t getInt64(const std::string& column) const;
    double getDouble(const std::string& column) const;
    std::string getText(const std::string& column) const;
    std::vector<unsigned char> getBlob(const std::string& column) const;

private:
    friend class KSqlTable;

    KSqlTableCursor() noexcept;
    KSqlTableCursor(KSqlStatement statement, std::shared_ptr<const ColumnIndex> columns);

    const KSqlStatement& currentRow(int column) const;

    std::unique_ptr<KSqlStatement> m_statement;
    std::shared_ptr<const ColumnIndex> m_columns;
};

} // namespace KSQLite
