#pragma once

namespace KSQLite {

// The storage class of one value, numbered as SQLite numbers them.
enum class KSqlColumnType
{
    Integer = 1,
    Float = 2,
    Text = 3,
    Blob = 4,
    Null = 5,
};

} // namespace KSQLite
