#include "KSqlTableCursor.h"

#include "KSqlAsciiLower.h"
#include "KSqlError.h"

#include <sqlite3.h>

namespace KSQLite {

KSqlTableCursor::KSqlTableCursor() noexcept = default;

KSqlTableCursor::KSqlTableCursor(
    KSqlStatement statement, std::shared_ptr<const ColumnIndex> columns)
    : m_statement(std::make_unique<KSqlStatement>(std::move(statement)))
    , m_columns(std::move(columns))
{
}

KSqlTableCursor::KSqlTableCursor(KSqlTableCursor&&) noexcept = default;
KSqlTableCursor& KSqlTableCursor::operator=(KSqlTableCursor&&) noexcept = default;
KSqlTableCursor::~KSqlTableCursor() = default;

bool KSqlTableCursor::next()
{
    return m_statement && m_statement->step();
}

int KSqlTableCursor::columnCount() const noexcept
{
    return m_statement ? m_statement->columnCount() : 0;
}

int KSqlTableCursor::columnIndex(const std::string& name) const
{
    if (m_columns) {
        const auto found = m_columns->find(asciiLower(name));
        if (found != m_columns->end())
            return found->second;
    }
    throw KSqlException("the table has no column \"" + name + "\"", SQLITE_RANGE);
}

const KSqlStatement& KSqlTableCursor::currentRow(int column) const
{
    if (!m_statement)
        throw misuseError("cannot read column " + std::to_string(column) + ": no current row");
    return *m_statement;
}

KSqlColumnType KSqlTableCursor::columnType(int column) const
{
    return currentRow(column).columnType(column);
}

bool KSqlTableCursor::isNull(int column) const
{
    return currentRow(column).isNull(column);
}

int KSqlTableCursor::getInt(int column) const
{
    return currentRow(column).getInt(column);
}

std::int64_t KSqlTableCursor::getInt64(int column) const
{
    return currentRow(column).getInt64(column);
}

double KSqlTableCursor::getDouble(int column) const
{
    return currentRow(column).getDouble(column);
}

std::string KSqlTableCursor::getText(int column) const
{
    return currentRow(column).getText(column);
}

std::vector<unsigned char> KSqlTableCursor::getBlob(int column) const
{
    return currentRow(column).getBlob(column);
}

KSqlColumnType KSqlTableCursor::columnType(const std::string& column) const
{
    return columnType(columnIndex(column));
}

bool KSqlTableCursor::isNull(const std::string& column) const
{
    return isNull(columnIndex(column));
}

int KSqlTableCursor::getInt(const std::string& column) const
{
    return getInt(columnIndex(column));
}

std::int64_t KSqlTableCursor::getInt64(const std::string& column) const
{
    return getInt64(columnIndex(column));
}

double KSqlTableCursor::getDouble(const std::string& column) const
{
    return getDouble(columnIndex(column));
}

std::string KSqlTableCursor::getText(const std::string& column) const
{
    return getText(columnIndex(column));
}

std::vector<unsigned char> KSqlTableCursor::getBlob(const std::string& column) const
{
    return getBlob(columnIndex(column));
}

} // namespace KSQLite
