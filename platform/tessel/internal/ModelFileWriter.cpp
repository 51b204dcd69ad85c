#include "ModelFileWriter.h"

#include "Errors.h"
#include "ModelFileLayout.h"
#include "ModelObject.h"
#include "SqliteHandles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char catalogSchema[] = R"sql(
CREATE TABLE tessel_model(format TEXT NOT NULL, version INTEGER NOT NULL, mode INTEGER NOT NULL) STRICT;
CREATE TABLE tessel_model_props(position INTEGER PRIMARY KEY, code TEXT NOT NULL,
    value TEXT NOT NULL) STRICT;
CREATE TABLE tessel_databases(position INTEGER PRIMARY KEY, name TEXT NOT NULL) STRICT;
CREATE TABLE tessel_tables(position INTEGER PRIMARY KEY, database_position INTEGER NOT NULL,
    name TEXT NOT NULL, kind INTEGER NOT NULL, primary_key INTEGER NOT NULL,
    record_count INTEGER NOT NULL) STRICT;
CREATE TABLE tessel_fields(table_position INTEGER NOT NULL, position INTEGER NOT NULL,
    name TEXT NOT NULL, data_type INTEGER NOT NULL, text_bytes INTEGER NOT NULL,
    PRIMARY KEY(table_position, position)) STRICT, WITHOUT ROWID;
CREATE TABLE tessel_field_props(table_position INTEGER NOT NULL, field_position INTEGER NOT NULL,
    position INTEGER NOT NULL, code TEXT NOT NULL, value TEXT NOT NULL,
    PRIMARY KEY(table_position, field_position, position)) STRICT, WITHOUT ROWID;
)sql";

void bindText(sqlite3_stmt* statement, int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement, index, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
}

void runInsert(sqlite3* db, sqlite3_stmt* statement)
{
    stepSqlite(db, statement);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
}

const char* sqlType(Storage storage)
{
    switch (storage) {
    case Storage::Double:
        return "REAL";
    case Storage::Text:
        return "TEXT";
    case Storage::Int32:
    case Storage::Int64:
        break;
    }
    return "INTEGER";
}

void writeRecords(sqlite3* db, int position, const TableObject& table)
{
    const QByteArray name = quotedIdentifier(ModelFileLayout::recordTableName(position));
    QByteArray create
        = "CREATE TABLE " + name + "(position INTEGER PRIMARY KEY, id INTEGER NOT NULL";
    QByteArray insert = "INSERT INTO " + name + " VALUES(?, ?";
    for (int f = 0; f < table.fieldCount(); ++f) {
        create += ", " + ModelFileLayout::fieldColumnName(f) + ' '
            + sqlType(table.column(f).storage()) + " NOT NULL";
        insert += ", ?";
    }
    executeSqlite(db, create + ") STRICT");
    SqliteStatement statement = prepareSqlite(db, insert + ')');
    sqlite3_stmt* raw = statement.get();
    for (int row = 0; row < table.recordCount(); ++row) {
        sqlite3_bind_int64(raw, 1, row);
        sqlite3_bind_int64(raw, 2, sqlite3_int64(table.id(row)));
        for (int f = 0; f < table.fieldCount(); ++f) {
            const FieldColumn& column = table.column(f);
            const auto r = size_t(row);
            switch (column.storage()) {
            case Storage::Int32:
                sqlite3_bind_int(raw, f + 3, column.int32s[r]);
                break;
            case Storage::Int64:
                sqlite3_bind_int64(raw, f + 3, column.int64s[r]);
                break;
            case Storage::Double:
                sqlite3_bind_double(raw, f + 3, column.doubles[r]);
                break;
            case Storage::Text: {
                const std::string_view text = column.texts.view(r);
                sqlite3_bind_text(raw, f + 3, text.data(), int(text.size()), SQLITE_STATIC);
                break;
            }
            }
        }
        runInsert(db, raw);
    }
}

void writeCatalog(sqlite3* db, const ModelObject& model)
{
    executeSqlite(db, catalogSchema);
    SqliteStatement modelRow
        = prepareSqlite(db, "INSERT INTO tessel_model(format, version, mode) VALUES(?, ?, ?)");
    sqlite3_bind_text(modelRow.get(), 1, ModelFileLayout::formatName, -1, SQLITE_STATIC);
    sqlite3_bind_int(modelRow.get(), 2, ModelFileLayout::version);
    sqlite3_bind_int(modelRow.get(), 3, model.mode());
    runInsert(db, modelRow.get());

    SqliteStatement modelProp = prepareSqlite(db, "INSERT INTO tessel_model_props VALUES(?, ?, ?)");
    const ExtPropDefListObject& modelProps = *model.extPropDefs();
    for (int i = 0; i < modelProps.count(); ++i) {
        sqlite3_bind_int(modelProp.get(), 1, i);
        bindText(modelProp.get(), 2, modelProps.item(i)->code());
        bindText(modelProp.get(), 3, modelProps.item(i)->value());
        runInsert(db, modelProp.get());
    }

    SqliteStatement database = prepareSqlite(db, "INSERT INTO tessel_databases VALUES(?, ?)");
    SqliteStatement table = prepareSqlite(db, "INSERT INTO tessel_tables VALUES(?, ?, ?, ?, ?, ?)");
    SqliteStatement field = prepareSqlite(db, "INSERT INTO tessel_fields VALUES(?, ?, ?, ?, ?)");
    SqliteStatement fieldProp
        = prepareSqlite(db, "INSERT INTO tessel_field_props VALUES(?, ?, ?, ?, ?)");
    int tablePosition = 0;
    for (int d = 0; d < model.databaseCount(); ++d) {
        const DatabaseObject& db_ = *model.database(d);
        sqlite3_bind_int(database.get(), 1, d);
        bindText(database.get(), 2, db_.name());
        runInsert(db, database.get());
        for (int t = 0; t < db_.tableCount(); ++t, ++tablePosition) {
            const TableObject& source = *db_.table(t);
            sqlite3_bind_int(table.get(), 1, tablePosition);
            sqlite3_bind_int(table.get(), 2, d);
            bindText(table.get(), 3, source.name());
            sqlite3_bind_int(table.get(), 4, source.kind());
            sqlite3_bind_int(table.get(), 5, source.primaryKey());
            sqlite3_bind_int(table.get(), 6, source.recordCount());
            runInsert(db, table.get());
            for (int f = 0; f < source.fieldCount(); ++f) {
                const FieldDef& def = source.field(f);
                const FieldColumn& column = source.column(f);
                sqlite3_bind_int(field.get(), 1, tablePosition);
                sqlite3_bind_int(field.get(), 2, f);
                bindText(field.get(), 3, def.name);
                sqlite3_bind_int(field.get(), 4, def.type);
                sqlite3_bind_int64(field.get(), 5,
                    column.storage() == Storage::Text ? sqlite3_int64(column.texts.byteCount())
                                                      : 0);
                runInsert(db, field.get());
                for (int p = 0; p < def.extPropDefs->count(); ++p) {
                    sqlite3_bind_int(fieldProp.get(), 1, tablePosition);
                    sqlite3_bind_int(fieldProp.get(), 2, f);
                    sqlite3_bind_int(fieldProp.get(), 3, p);
                    bindText(fieldProp.get(), 4, def.extPropDefs->item(p)->code());
                    bindText(fieldProp.get(), 5, def.extPropDefs->item(p)->value());
                    runInsert(db, fieldProp.get());
                }
            }
            writeRecords(db, tablePosition, source);
        }
    }
}

void syncPath(const QString& path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0)
        raiseError(QStringLiteral("cannot open %1 to flush it: %2")
                       .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0)
        raiseError(QStringLiteral("cannot flush %1: %2")
                       .arg(path, QString::fromLocal8Bit(std::strerror(error))));
}

} // namespace

void writeModelFile(const QString& path, const ModelObject& model)
{
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    if (!QFileInfo(folder).isDir())
        raiseError(QStringLiteral("the folder %1 does not exist").arg(folder));
    if (target.isDir())
        raiseError(QStringLiteral("the path is a directory"));

    QTemporaryFile temporary(
        folder + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        raiseError(QStringLiteral("cannot create a temporary file beside it: %1")
                       .arg(temporary.errorString()));
    const QString temporaryPath = temporary.fileName();
    temporary.close();
    {
        SqliteConnection connection
            = openSqlite(temporaryPath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
        sqlite3* db = connection.get();
        // The temporary file is worthless until renamed, so no journal; it is
        // flushed once, before the rename.
        executeSqlite(db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;");
        executeSqlite(db,
            "PRAGMA application_id = " + QByteArray::number(ModelFileLayout::applicationId)
                + "; PRAGMA user_version = " + QByteArray::number(ModelFileLayout::version) + ";");
        executeSqlite(db, "BEGIN");
        writeCatalog(db, model);
        executeSqlite(db, "COMMIT");
        if (sqlite3_close(connection.release()) != SQLITE_OK)
            raiseError(QStringLiteral("cannot close the temporary file"));
    }
    // A temporary file is private to its owner; the model file is not.
    const QFileDevice::Permissions permissions = target.exists() ? target.permissions()
                                                                 : QFileDevice::ReadOwner
            | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QFile::setPermissions(temporaryPath, permissions);
    syncPath(temporaryPath, O_RDONLY);
    if (std::rename(
            QFile::encodeName(temporaryPath).constData(), QFile::encodeName(path).constData())
        != 0)
        raiseError(QStringLiteral("cannot replace it with the temporary file: %1")
                       .arg(QString::fromLocal8Bit(std::strerror(errno))));
    syncPath(folder, O_RDONLY | O_DIRECTORY);
}
