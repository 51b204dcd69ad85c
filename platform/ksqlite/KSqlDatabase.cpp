#include "KSqlDatabase.h"
#include <sqlite3.h>

namespace KSQLite {
namespace {
// Long enough to ride out another process's short write, short enough that a
// stuck lock shows up as an error rather than a hang.
constexpr int busyTimeoutMs = 5000;

void run(sqlite3* handle, const char* sql, const char* context)
{
    if (sqlite3_exec(handle, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw KSqlException::lastError(handle, context);
}
} // namespace

KSqlException::KSqlException(const std::string& message, int errorCode)
    : m_message(message)
    , m_errorCode(errorCode)
{
}

KSqlException KSqlException::lastError(sqlite3* handle, const std::string& context)
{
    if (!handle)
        return KSqlException(context + ": " + sqlite3_errstr(SQLITE_NOMEM), SQLITE_NOMEM);
    return KSqlException(
        context + ": " + sqlite3_errmsg(handle), sqlite3_extended_errcode(handle) & 0xff);
}

void KSqlHandleCloser::operator()(sqlite3* handle) const noexcept
{
    sqlite3_close_v2(handle);
}

KSqlDatabase::KSqlDatabase(const std::string& utf8Path, int sqliteOpenFlags)
{
    open(utf8Path, sqliteOpenFlags);
}

KSqlDatabase::~KSqlDatabase() = default;

bool KSqlDatabase::Open(const std::string& utf8Path, bool readWrite)
{
    open(utf8Path,
        (readWrite ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_FULLMUTEX);
    return true;
}

void KSqlDatabase::open(const std::string& utf8Path, int flags)
{
    Close();
    const std::string context = "cannot open database \"" + utf8Path + "\"";
    // SQLite would open a private temporary database for an empty name.
    if (utf8Path.empty())
        throw KSqlException(context + ": empty path", SQLITE_CANTOPEN);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(utf8Path.c_str(), &raw, flags, nullptr);
    KSqlHandle handle(raw);
    if (rc != SQLITE_OK)
        throw KSqlException::lastError(raw, context);
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, busyTimeoutMs);
    // sqlite3_open_v2 reads nothing yet; reading the schema here makes a file
    // that is not a database fail now rather than at the first query.
    run(raw, "SELECT count(*) FROM sqlite_master", context.c_str());
    m_handle = std::make_shared<KSqlHandle>(std::move(handle));
    m_path = utf8Path;
}

void KSqlDatabase::Close() noexcept
{
    m_handle.reset();
    m_path.clear();
}

int KSqlDatabase::exec(const std::string& sql)
{
    if (!m_handle)
        throw KSqlException("cannot run SQL: the database is not open", SQLITE_MISUSE);
    run(handle(), sql.c_str(), "cannot run SQL");
    return sqlite3_changes(handle());
}

KSqlTransaction::KSqlTransaction(KSqlDatabase& database)
    : m_handle(database.m_handle)
{
    database.exec("BEGIN");
}

KSqlTransaction::~KSqlTransaction()
{
    // A closed database has rolled back already, and SQLite may have rolled
    // back on its own: then the statement fails with nothing left to undo.
    if (const auto handle = m_handle.lock(); handle && !m_committed)
        sqlite3_exec(handle->get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void KSqlTransaction::commit()
{
    const auto handle = m_handle.lock();
    if (!handle || m_committed)
        throw KSqlException("cannot commit: the transaction has ended", SQLITE_MISUSE);
    run(handle->get(), "COMMIT", "cannot commit");
    m_committed = true;
}
} // namespace KSQLite
