#include "KSqlError.h"

#include <sqlite3.h>

namespace KSQLite {

KSqlException sqlError(sqlite3* handle, const std::string& context)
{
    if (!handle)
        return KSqlException(context + ": " + sqlite3_errstr(SQLITE_NOMEM), SQLITE_NOMEM);
    const int extended = sqlite3_extended_errcode(handle);
    return KSqlException(context + ": " + sqlite3_errmsg(handle), extended & 0xff, extended);
}

KSqlException misuseError(const std::string& message)
{
    return KSqlException(message, SQLITE_MISUSE);
}

} // namespace KSQLite
