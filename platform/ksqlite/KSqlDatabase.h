#pragma once

#include <ksqlite/ksqlite_export.h>

#include <cstdint>
#include <memory>
#include <string>

struct sqlite3;

namespace KSQLite {

class KSqlConnection;

// One connection to an SQLite database file. Not copyable: the project keeps
// it behind a shared pointer. Statements, tables and cursors made from it stay
// safe after Close() or the object's destruction: their operations then raise
// KSqlException instead of touching a closed handle.
class KSQLITE_EXPORT KSqlDatabase
{
public:
    // An unopened database.
    KSqlDatabase() noexcept;
    // Closes the database if it is open; never throws.
    ~KSqlDatabase();

    KSqlDatabase(const KSqlDatabase&) = delete;
    KSqlDatabase& operator=(const KSqlDatabase&) = delete;

    // Opens an existing SQLite file. The path is UTF-8 and taken literally
    // (no URI forms); ":memory:" opens a private in-memory database. The file
    // is never created: a missing file raises. readWrite true opens it for
    // reading and writing (read-only if the file system refuses writing),
    // false for reading only. The file's schema is read before returning, so a
    // file that is not an SQLite database raises here with SQLite's message
    // ("file is not a database"). A database that was open is closed first;
    // after a failure the object is unopened. Returns true, or raises
    // KSqlException.
    bool Open(const std::string& utf8Path, bool readWrite);

    // Closes the database; a no-op when it is not open. Never throws. Any
    // statement or cursor still alive raises from then on; SQLite releases the
    // file itself once the last of them is destroyed.
    void Close() noexcept;

    bool isOpen() const noexcept;

    // The path given to the last successful Open, empty when unopened.
    std::string path() const;

    // Runs one or more SQL statements without results; returns the number of
    // rows the last one changed. Raises KSqlException on failure or when the
    // database is not open.
    int exec(const std::string& sql);

    // True when a table or view of that name (ASCII case-insensitive, as
    // SQLite matches names) exists. False when the database is not open.
    bool tableExists(const std::string& tableName) const;

    // Row id of the last successful INSERT on this connection; 0 when none or
    // unopened.
    std::int64_t lastInsertRowId() const noexcept;

    // The raw handle for the wrapper's own use and for special cases; null
    // when unopened. Owned by this object: never close it.
    sqlite3* handle() const noexcept;

private:
    friend class KSqlStatement;
    friend class KSqlTable;

    std::shared_ptr<KSqlConnection> m_connection;
};

} // namespace KSQLite
