#include "ModelFile.h"
#include "ModelFileLayout.h"
#include "TesselObjects.h"

#include <bimcore/platform/ksqlite/KSqlStatement.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using KSQLite::KSqlDatabase;
using KSQLite::KSqlStatement;

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

void bind(KSqlStatement& statement, int index, qint64 value)
{
    statement.bindInt64(index, value);
}

void bind(KSqlStatement& statement, int index, const QString& value)
{
    statement.bindText(index, value.toStdString());
}

// Binds the values to the parameters in order and runs the statement.
template <class... Values> void insert(KSqlStatement& statement, const Values&... values)
{
    int index = 0;
    (bind(statement, ++index, values), ...);
    statement.execute();
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

void writeRecords(KSqlDatabase& db, int position, const TableObject& table)
{
    const std::string name = ModelFileLayout::recordTableName(position).toStdString();
    std::string create
        = "CREATE TABLE " + name + "(position INTEGER PRIMARY KEY, id INTEGER NOT NULL";
    std::string values = "?, ?";
    for (size_t f = 0; f < table.fields.size(); ++f) {
        create += ", " + ModelFileLayout::fieldColumnName(int(f)).toStdString() + ' '
            + sqlType(table.columns[f].storage) + " NOT NULL";
        values += ", ?";
    }
    db.exec(create + ") STRICT");
    KSqlStatement insert(db, "INSERT INTO " + name + " VALUES(" + values + ")");
    // Bound straight from the typed vectors, texts without a copy.
    sqlite3_stmt* raw = insert.handle();
    for (size_t row = 0; row < table.ids.size(); ++row) {
        int result = sqlite3_bind_int64(raw, 1, sqlite3_int64(row));
        result |= sqlite3_bind_int64(raw, 2, sqlite3_int64(table.ids[row]));
        for (size_t f = 0; f < table.columns.size(); ++f) {
            const FieldColumn& column = table.columns[f];
            const int index = int(f) + 3;
            switch (column.storage) {
            case Storage::Int32:
                result |= sqlite3_bind_int(raw, index, column.int32s[row]);
                break;
            case Storage::Int64:
                result |= sqlite3_bind_int64(raw, index, column.int64At(row));
                break;
            case Storage::Double:
                result |= sqlite3_bind_double(raw, index, column.doubles[row]);
                break;
            case Storage::Text: {
                const CellValue cell = column.texts.cell(row);
                if (cell.kind == CellValue::Text) {
                    result |= sqlite3_bind_text(
                        raw, index, cell.text.data(), int(cell.text.size()), SQLITE_STATIC);
                } else {
                    const std::string text = convertToText(cell);
                    result |= sqlite3_bind_text(
                        raw, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
                }
                break;
            }
            }
        }
        if (result != SQLITE_OK)
            raiseError(QStringLiteral("cannot store %1 of table \"%2\": %3")
                           .arg(table.describeRecord(int(row)), table.name,
                               QString::fromUtf8(sqlite3_errmsg(db.handle()))));
        insert.execute();
    }
}

void writeCatalog(KSqlDatabase& db, const ModelObject& model)
{
    db.exec(catalogSchema);
    KSqlStatement modelRow(db, "INSERT INTO tessel_model(format, version, mode) VALUES(?, ?, ?)");
    insert(modelRow, QString::fromLatin1(ModelFileLayout::formatName), ModelFileLayout::version,
        int(model.mode));
    KSqlStatement modelProp(db, "INSERT INTO tessel_model_props VALUES(?, ?, ?)");
    const std::vector<ExtPropDef>& modelProps = model.extPropDefs->items;
    for (size_t p = 0; p < modelProps.size(); ++p)
        insert(modelProp, int(p), modelProps[p].code, modelProps[p].value);

    KSqlStatement database(db, "INSERT INTO tessel_databases VALUES(?, ?)");
    KSqlStatement table(db, "INSERT INTO tessel_tables VALUES(?, ?, ?, ?, ?, ?)");
    KSqlStatement field(db, "INSERT INTO tessel_fields VALUES(?, ?, ?, ?, ?)");
    KSqlStatement fieldProp(db, "INSERT INTO tessel_field_props VALUES(?, ?, ?, ?, ?)");
    int position = 0;
    for (size_t d = 0; d < model.databases.size(); ++d) {
        const DatabaseObject& source = *model.databases[d];
        insert(database, int(d), source.name);
        for (const TesselRef<TableObject>& tableRef : source.tables) {
            const TableObject& t = *tableRef;
            insert(
                table, position, int(d), t.name, int(t.tableKind), t.primaryKey, t.recordCount());
            for (size_t f = 0; f < t.fields.size(); ++f) {
                const FieldDef& def = t.fields[f];
                const FieldColumn& column = t.columns[f];
                const qint64 textBytes
                    = column.storage == Storage::Text ? qint64(column.texts.byteCount()) : 0;
                insert(field, position, int(f), def.name, int(def.type), textBytes);
                const std::vector<ExtPropDef>& props = def.extPropDefs->items;
                for (size_t p = 0; p < props.size(); ++p)
                    insert(fieldProp, position, int(f), int(p), props[p].code, props[p].value);
            }
            writeRecords(db, position++, t);
        }
    }
}

void syncFolder(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (!synced)
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
    // Kept open, so that it is flushed through this handle once SQLite is
    // done with it.
    const QString temporaryPath = temporary.fileName();
    try {
        KSqlDatabase db(temporaryPath.toStdString(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
        // The temporary file is worthless until renamed, so no journal; it is
        // flushed once, before the rename.
        db.exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA application_id = "
            + std::to_string(ModelFileLayout::applicationId)
            + "; PRAGMA user_version = " + std::to_string(ModelFileLayout::version));
        KSQLite::KSqlTransaction transaction(db);
        writeCatalog(db, model);
        transaction.commit();
    } catch (const KSQLite::KSqlException& e) {
        raiseError(QString::fromStdString(e.msg()));
    }
    // A temporary file is private to its owner; the model file is not.
    const QFileDevice::Permissions permissions = target.exists() ? target.permissions()
                                                                 : QFileDevice::ReadOwner
            | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    temporary.setPermissions(permissions);
    if (::fsync(temporary.handle()) != 0)
        raiseError(QStringLiteral("cannot flush %1: %2")
                       .arg(temporaryPath, QString::fromLocal8Bit(std::strerror(errno))));
    if (std::rename(
            QFile::encodeName(temporaryPath).constData(), QFile::encodeName(path).constData())
        != 0)
        raiseError(QStringLiteral("cannot replace it with the temporary file: %1")
                       .arg(QString::fromLocal8Bit(std::strerror(errno))));
    syncFolder(folder);
}
