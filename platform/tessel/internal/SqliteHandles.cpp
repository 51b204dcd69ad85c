#include "SqliteHandles.h"

#include "Errors.h"

QString sqliteMessage(sqlite3* db)
{
    return QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
}

SqliteConnection openSqlite(const QString& path, int flags)
{
    sqlite3* raw = nullptr;
    const int result = sqlite3_open_v2(path.toUtf8().constData(), &raw, flags, nullptr);
    SqliteConnection db(raw);
    if (result != SQLITE_OK)
        raiseError(sqliteMessage(db.get()));
    sqlite3_extended_result_codes(db.get(), 1);
    return db;
}

SqliteStatement prepareSqlite(sqlite3* db, const QByteArray& sql)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), sql.size(), &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        raiseError(sqliteMessage(db));
    }
    return SqliteStatement(raw);
}

void executeSqlite(sqlite3* db, const QByteArray& sql)
{
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        raiseError(sqliteMessage(db));
}

bool stepSqlite(sqlite3* db, sqlite3_stmt* statement)
{
    const int result = sqlite3_step(statement);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    raiseError(sqliteMessage(db));
}

QString columnText(sqlite3_stmt* statement, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(statement, column));
}

QByteArray quotedIdentifier(const QByteArray& name)
{
    QByteArray quoted = name;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}
