#pragma once

#include <bimcore/platform/ksqlite/ksqlite_export.h>
#include <exception>
#include <string>

struct sqlite3;

namespace KSQLite {
/// The exception of the SQLite wrapper, thrown by value: what was being done
/// and SQLite's message, with SQLite's primary result code (SQLITE_MISUSE for
/// misuse the wrapper finds itself).
class KSQLITE_EXPORT KSqlException : public std::exception
{
public:
    explicit KSqlException(const std::string& message, int errorCode = 1);
    /// The last failure on handle: context, ": ", SQLite's message, and its code.
    static KSqlException lastError(sqlite3* handle, const std::string& context);

    /// The error text, UTF-8.
    std::string msg() const { return m_message; }
    const char* what() const noexcept override { return m_message.c_str(); }
    int errorCode() const noexcept { return m_errorCode; }

private:
    std::string m_message;
    int m_errorCode;
};
} // namespace KSQLite
