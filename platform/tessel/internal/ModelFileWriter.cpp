#include "ModelFile.h"
#include "ModelFileLayout.h"
#include "TesselObjects.h"
#include <bimcore/storage/fs/FileIo.h>
#include <bimcore/platform/ksqlite/KSqlStatement.h>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <sqlite3.h>

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

void bindValue(KSqlStatement& statement, int index, const CellValue& value)
{
    if (const auto* integer = std::get_if<qint64>(&value))
        statement.bindInt64(index, *integer);
    else if (const auto* real = std::get_if<double>(&value))
        statement.bindDouble(index, *real);
    else
        statement.bindText(index, std::get<QString>(value).toStdString());
}

template <class... Values> void insert(KSqlStatement& statement, const Values&... values)
{
    int index = 0;
    (bindValue(statement, ++index, CellValue(values)), ...);
    statement.execute();
}

const char* sqlType(TesselDataType type)
{
    const CellValue empty = emptyValueOf(type);
    return std::holds_alternative<double>(empty) ? "REAL"
        : std::holds_alternative<QString>(empty) ? "TEXT"
                                                 : "INTEGER";
}

void writeRecords(KSqlDatabase& db, int position, const TableObject& table)
{
    const std::string name = ModelFileLayout::recordTableName(position).toStdString();
    std::string create
        = "CREATE TABLE " + name + "(position INTEGER PRIMARY KEY, id INTEGER NOT NULL";
    std::string values = "?, ?";
    for (size_t f = 0; f < table.fields.size(); ++f) {
        create += ", " + ModelFileLayout::fieldColumnName(int(f)).toStdString() + ' '
            + sqlType(table.fields[f].type) + " NOT NULL";
        values += ", ?";
    }
    db.exec(create + ") STRICT");
    KSqlStatement insert(db, "INSERT INTO " + name + " VALUES(" + values + ")");
    for (size_t row = 0; row < table.ids.size(); ++row) {
        insert.bindInt64(1, qint64(row));
        insert.bindInt64(2, qint64(table.ids[row]));
        for (size_t f = 0; f < table.columns.size(); ++f)
            bindValue(insert, int(f) + 3, valueAt(table.columns[f], row));
        insert.execute();
    }
}

void writeCatalog(KSqlDatabase& db, const ModelObject& model)
{
    db.exec(catalogSchema);
    KSqlStatement modelRow(db, "INSERT INTO tessel_model(format, version, mode) VALUES(?, ?, ?)");
    insert(modelRow, QString::fromLatin1(ModelFileLayout::formatName),
        qint64(ModelFileLayout::version), qint64(model.mode));
    KSqlStatement modelProp(db, "INSERT INTO tessel_model_props VALUES(?, ?, ?)");
    const std::vector<ExtPropDef>& modelProps = model.extPropDefs->items;
    for (size_t p = 0; p < modelProps.size(); ++p)
        insert(modelProp, qint64(p), modelProps[p].code, modelProps[p].value);

    KSqlStatement database(db, "INSERT INTO tessel_databases VALUES(?, ?)");
    KSqlStatement table(db, "INSERT INTO tessel_tables VALUES(?, ?, ?, ?, ?, ?)");
    KSqlStatement field(db, "INSERT INTO tessel_fields VALUES(?, ?, ?, ?, 0)");
    KSqlStatement fieldProp(db, "INSERT INTO tessel_field_props VALUES(?, ?, ?, ?, ?)");
    qint64 position = 0;
    for (size_t d = 0; d < model.databases.size(); ++d) {
        const DatabaseObject& source = *model.databases[d];
        insert(database, qint64(d), source.name);
        for (const TesselRef<TableObject>& tableRef : source.tables) {
            const TableObject& t = *tableRef;
            insert(table, position, qint64(d), t.name, qint64(t.tableKind), qint64(t.primaryKey),
                qint64(t.recordCount()));
            for (size_t f = 0; f < t.fields.size(); ++f) {
                const FieldDef& def = t.fields[f];
                insert(field, position, qint64(f), def.name, qint64(def.type));
                const std::vector<ExtPropDef>& props = def.extPropDefs->items;
                for (size_t p = 0; p < props.size(); ++p)
                    insert(fieldProp, position, qint64(f), qint64(p), props[p].code,
                        props[p].value);
            }
            writeRecords(db, int(position++), t);
        }
    }
}

[[noreturn]] void cannot(const char* what, const QString& path)
{
    raiseError(QStringLiteral("cannot %1 %2: %3").arg(QLatin1String(what), path, fs::lastError()));
}
// A new, empty file beside the model file, of a name nothing else holds.
// Made and let go here: QTemporaryFile keeps its file open on Windows, where
// no file held open can be replaced.
QString createBeside(const QString& folder, const QString& name)
{
    for (int attempt = 0;; ++attempt) {
        const QString path = QStringLiteral("%1/.%2.%3").arg(folder, name,
            QString::number(QRandomGenerator::global()->generate64(), 36));
        if (fs::createNew(path))
            return path;
        if (attempt == 8)
            cannot("create a temporary file beside it", path);
    }
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

    const QString temporaryPath = createBeside(folder, target.fileName());
    auto removeTemporary = qScopeGuard([&] { QFile::remove(temporaryPath); });
    try {
        KSqlDatabase db(temporaryPath.toStdString(), SQLITE_OPEN_READWRITE);
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
    QFile::setPermissions(temporaryPath, target.exists() ? target.permissions()
                                             : QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                 | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (!fs::flushFile(temporaryPath))
        cannot("flush", temporaryPath);
    if (!fs::replaceEntry(temporaryPath, path))
        cannot("replace it with the temporary file", temporaryPath);
    removeTemporary.dismiss();
    if (!fs::flushFolder(folder))
        cannot("flush", folder);
}
