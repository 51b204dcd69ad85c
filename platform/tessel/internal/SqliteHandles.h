#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <sqlite3.h>

// Small owners of the sqlite3 handles of the model file reader and writer.

struct SqliteCloser
{
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};

struct SqliteFinalizer
{
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};

using SqliteConnection = std::unique_ptr<sqlite3, SqliteCloser>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteFinalizer>;

// Opens path with the flags given; raises with SQLite's message on failure.
SqliteConnection openSqlite(const QString& path, int flags);
// Raises with SQLite's message when the statement cannot be prepared.
SqliteStatement prepareSqlite(sqlite3* db, const QByteArray& sql);
// Runs statements that return no rows; raises on failure.
void executeSqlite(sqlite3* db, const QByteArray& sql);
// Steps once: true for a row, false when done; raises on an error.
bool stepSqlite(sqlite3* db, sqlite3_stmt* statement);
// SQLite's message for the last failure on db.
QString sqliteMessage(sqlite3* db);
// A column read as text.
QString columnText(sqlite3_stmt* statement, int column);
// An identifier quoted for SQL.
QByteArray quotedIdentifier(const QByteArray& name);
