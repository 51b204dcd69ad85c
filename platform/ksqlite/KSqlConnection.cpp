#include "KSqlConnection.h"

#include "KSqlError.h"

#include <sqlite3.h>

namespace KSQLite {

namespace {
// Long enough to ride out another process's short write, short enough that a
// stuck lock shows up as an error rather than a hang.
constexpr int busyTimeoutMs = 5000;
} // namespace

void KSqlConnection::HandleCloser::operator()(sqlite3* handle) const noexcept
{
    sqlite3_close_v2(handle);
}

KSqlConnection::KSqlConnection(const std::string& utf8Path, bool readWrite)
    : m_path(utf8Path)
{
    const std::string context = "cannot open database \"" + utf8Path + "\"";
    // SQLite would open a private temporary database for an empty name.
    if (utf8Path.empty())
        throw KSqlException(context + ": empty path", SQLITE_CANTOPEN);

    const int flags
        = (readWrite ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_FULLMUTEX;
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(utf8Path.c_str(), &raw, flags, nullptr);
    m_handle.reset(raw);
    if (rc != SQLITE_OK)
        throw sqlError(raw, context);

    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, busyTimeoutMs);

    // sqlite3_open_v2 reads nothing yet; reading the schema here makes a file
    // that is not a database fail now rather than at the first query.
    sqlite3_stmt* probe = nullptr;
    int probeRc
        = sqlite3_prepare_v2(raw, "SELECT count(*) FROM sqlite_master", -1, &probe, nullptr);
    if (probeRc == SQLITE_OK)
        probeRc = sqlite3_step(probe);
    if (probeRc != SQLITE_ROW) {
        KSqlException error = sqlError(raw, context);
        sqlite3_finalize(probe);
        throw error;
    }
    sqlite3_finalize(probe);
}

} // namespace KSQLite
