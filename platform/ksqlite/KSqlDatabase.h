#pragma once

#include <bimcore/platform/ksqlite/KSqlException.h>
#include <bimcore/platform/ksqlite/ksqlite_export.h>

#include <memory>
#include <string>

struct sqlite3;

namespace KSQLite {

// sqlite3_close_v2 defers the close while statements are still prepared, so
// it cannot fail on a valid handle.
struct KSQLITE_EXPORT KSqlHandleCloser
{
    void operator()(sqlite3* handle) const noexcept;
};
using KSqlHandle = std::unique_ptr<sqlite3, KSqlHandleCloser>;

// One connection to an SQLite database file. Not copyable: the project keeps
// it behind a shared pointer. Statements and tables made from it hold only a
// weak reference to its handle, so after Close() or the object's destruction
// their operations raise KSqlException instead of touching a closed handle.
class KSQLITE_EXPORT KSqlDatabase
{
public:
    // An unopened database.
    KSqlDatabase() noexcept;
    // Opens as Open() does, with sqlite3_open_v2's flags (SQLITE_OPEN_CREATE
    // among them when the file may be made).
    KSqlDatabase(const std::string& utf8Path, int sqliteOpenFlags);
    // Closes the database if it is open; never throws.
    ~KSqlDatabase();

    KSqlDatabase(const KSqlDatabase&) = delete;
    KSqlDatabase& operator=(const KSqlDatabase&) = delete;

    // Opens an existing SQLite file. The path is UTF-8 and taken literally
    // (no URI forms); ":memory:" opens a private in-memory database. The file
    // is never created: a missing file raises. readWrite true opens it for
    // reading and writing (read-only if the file system refuses writing),
    // false for reading only. The schema is read before returning, so a file
    // that is not an SQLite database raises here with SQLite's message ("file
    // is not a database"). A database that was open is closed first; after a
    // failure the object is unopened. Returns true, or raises KSqlException.
    bool Open(const std::string& utf8Path, bool readWrite);

    // Closes the database; a no-op when it is not open. Never throws.
    void Close() noexcept;

    bool isOpen() const noexcept { return m_handle != nullptr; }
    // The path of the open file, empty when unopened.
    const std::string& path() const noexcept { return m_path; }

    // Runs one or more SQL statements without results; returns the number of
    // rows the last one changed. Raises when the database is not open.
    int exec(const std::string& sql);

    // The raw handle, null when unopened. Owned by this object: never close it.
    sqlite3* handle() const noexcept { return m_handle ? m_handle->get() : nullptr; }

private:
    friend class KSqlStatement;
    friend class KSqlTable;
    friend class KSqlTransaction;

    void open(const std::string& utf8Path, int flags);

    std::shared_ptr<KSqlHandle> m_handle;
    std::string m_path;
};

// Begins a transaction on construction and rolls it back on destruction unless
// commit() was called, so an exception between the two leaves the database as
// it was. One guard per transaction: SQLite does not nest them.
class KSQLITE_EXPORT KSqlTransaction
{
public:
    // Raises when the database is not open or already in a transaction.
    explicit KSqlTransaction(KSqlDatabase& database);
    // Rolls back an uncommitted transaction; never throws.
    ~KSqlTransaction();

    KSqlTransaction(const KSqlTransaction&) = delete;
    KSqlTransaction& operator=(const KSqlTransaction&) = delete;

    // Raises when the commit fails (the destructor then rolls back) or when
    // called twice.
    void commit();

private:
    std::weak_ptr<KSqlHandle> m_handle;
    bool m_committed = false;
};

} // namespace KSQLite
