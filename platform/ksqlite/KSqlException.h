#pragma once

#include <ksqlite/ksqlite_export.h>

#include <exception>
#include <string>

namespace KSQLite {

// The one exception type of the SQLite wrapper. It is thrown and caught by
// value; msg() carries SQLite's own error text (prefixed with what was being
// done, e.g. the file being opened), errorCode() SQLite's primary result code
// and extendedErrorCode() its extended code. Failures detected by the wrapper
// itself (a closed database, a column index out of range) use SQLITE_MISUSE
// (21) or SQLITE_RANGE (25) as SQLite would.
class KSQLITE_EXPORT KSqlException : public std::exception
{
public:
    explicit KSqlException(
        const std::string& message, int errorCode = 1, int extendedErrorCode = -1);

    // The error text, UTF-8.
    std::string msg() const { return m_message; }
    const char* what() const noexcept override;

    int errorCode() const noexcept { return m_errorCode; }
    // The extended result code; equals errorCode() when SQLite gave none.
    int extendedErrorCode() const noexcept { return m_extendedErrorCode; }

private:
    std::string m_message;
    int m_errorCode;
    int m_extendedErrorCode;
};

} // namespace KSQLite
