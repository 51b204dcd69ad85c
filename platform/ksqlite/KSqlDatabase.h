#pragma once

#include <bimcore/platform/ksqlite/KSqlException.h>
#include <memory>

struct sqlite3;

namespace KSQLite {
struct KSQLITE_EXPORT KSqlHandleCloser
{
    void operator()(sqlite3* handle) const noexcept;
};
using KSqlHandle = std::unique_ptr<sqlite3, KSqlHandleCloser>;

/// One connection to an SQLite database file. Statements and tables made from
/// it hold a weak reference to its handle: once it is closed their operations
/// raise KSqlException instead of touching a closed handle.
class KSQLITE_EXPORT KSqlDatabase
{
public:
    /// An unopened database.
    KSqlDatabase() noexcept = default;
    /// Opens as Open() does, with sqlite3_open_v2's flags (SQLITE_OPEN_CREATE
    /// among them when the file may be made).
    KSqlDatabase(const std::string& utf8Path, int sqliteOpenFlags);
    /// Closes the database if it is open; never throws.
    ~KSqlDatabase();

    KSqlDatabase(const KSqlDatabase&) = delete;
    KSqlDatabase& operator=(const KSqlDatabase&) = delete;

    /// Opens an existing SQLite file (UTF-8 path; ":memory:" for a private
    /// in-memory database), for reading and writing or for reading only. A
    /// missing file or one that is no SQLite database raises KSqlException; a
    /// database that was open is closed first. Returns true.
    bool Open(const std::string& utf8Path, bool readWrite);

    /// Closes the database; a no-op when it is not open. Never throws.
    void Close() noexcept;

    bool isOpen() const noexcept { return m_handle != nullptr; }
    /// The path of the open file, empty when unopened.
    const std::string& path() const noexcept { return m_path; }

    /// Runs SQL statements without results; returns the rows the last changed.
    int exec(const std::string& sql);

    /// The raw handle, null when unopened. Owned by this object: never close it.
    sqlite3* handle() const noexcept { return m_handle ? m_handle->get() : nullptr; }

private:
    friend class KSqlStatement;
    friend class KSqlTable;
    friend class KSqlTransaction;

    void open(const std::string& utf8Path, int flags);

    std::shared_ptr<KSqlHandle> m_handle;
    std::string m_path;
};

/// Begins a transaction, and rolls it back when it goes uncommitted.
class KSQLITE_EXPORT KSqlTransaction
{
public:
    explicit KSqlTransaction(KSqlDatabase& database);
    ~KSqlTransaction();

    KSqlTransaction(const KSqlTransaction&) = delete;
    KSqlTransaction& operator=(const KSqlTransaction&) = delete;

    /// Raises when the commit fails; the destructor then rolls back.
    void commit();

private:
    std::weak_ptr<KSqlHandle> m_handle;
    bool m_committed = false;
};
} // namespace KSQLite
