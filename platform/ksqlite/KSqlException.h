#pragma once

#include <bimcore/platform/ksqlite/ksqlite_export.h>

#include <exception>
#include <string>

struct sqlite3;

namespace KSQLite {

// The one exception type of the SQLite wrapper, thrown and caught by value.
// msg() is SQLite's own error text after what was being done (e.g. the file
// being opened); errorCode() is SQLite's primary result code. Faults the
// wrapper finds itself (a closed database, a column out of range) use
// SQLITE_MISUSE (21) or SQLITE_RANGE (25), as SQLite would.
class KSQLITE_EXPORT KSqlException : public std::exception
{
public:
    explicit KSqlException(const std::string& message, int errorCode = 1);
    // The last failure on handle: context, ": ", SQLite's message, and its code.
    static KSqlException lastError(sqlite3* handle, const std::string& context);

    // The error text, UTF-8.
    std::string msg() const { return m_message; }
    const char* what() const noexcept override { return m_message.c_str(); }
    int errorCode() const noexcept { return m_errorCode; }

private:
    std::string m_message;
    int m_errorCode;
};

} // namespace KSQLite
