#pragma once

// Project folders and models for tests. Models are written through the Tessel
// API, so that a change of its layout shows up here first. Faults end the test
// program: a fixture that cannot be made would only hide what a test is about.

#include <bimcore/platform/tessel/Tessel.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QVariant>

#include <sqlite3.h>

#include <vector>

namespace ProjectFolders {

inline const QString kModelFile = QStringLiteral("KBMProjectTemplate.Tessel");
inline const QString kDatabaseFile = QStringLiteral("KBMProjectTemplate.db");

struct Field
{
    QString name;
    TesselDataType type;
    QString dataType = QString(); // "Int64" marks an identifier the service delivers as text
};

struct Record
{
    quint64 id;
    QVariantList values; // converted to the field types as the model converts them
};

struct Table
{
    QString name;
    std::vector<Field> fields;
    std::vector<Record> records;
    int primaryKey = 0; // -1: none
    TesselTableKind kind = ttkOrdinary;
};

using Revision = std::vector<Table>;

// "project" with "id", "workspace_id" (both marked as identifiers: text as the
// service delivers them, int64 once converted) and "name". The project counts
// as a usable local copy when id is not 0.
inline Table projectTable(quint64 id, quint64 workspace = 7001, bool converted = false)
{
    const TesselDataType type = converted ? tdtInt64 : tdtString;
    return { "project", { { "id", type, "Int64" }, { "workspace_id", type, "Int64" }, { "name", tdtString } },
        { { id == 0 ? 1 : id, { QString::number(id), QString::number(workspace), "Sample" } } } };
}

inline void addDefinition(TesselExtPropDefs definitions, const QString& code, const QString& value)
{
    TesselExtPropDef definition = definitions.add();
    definition.setCode(code);
    definition.setValue(value);
}

// converted: the value of the model's "IgnoreProcessInt64" marker, none if empty.
inline void writeModel(const QString& path, const Revision& tables,
    const QString& converted = QString(), TesselMode mode = tmDesign)
{
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine()); // as the host does
    if (!converted.isEmpty())
        addDefinition(model.extPropDefs(), QStringLiteral("IgnoreProcessInt64"), converted);
    TesselDatabase database = model.addDatabase(QStringLiteral("DB"));
    for (const Table& given : tables) {
        TesselTable table = database.addTable(given.name, given.kind);
        for (const Field& field : given.fields) {
            TesselFieldSchema schema
                = table.tableSchema().fieldSchemas().add(field.name, field.type);
            if (!field.dataType.isEmpty())
                addDefinition(schema.extPropDefs(), QStringLiteral("DataType"), field.dataType);
        }
        table.tableSchema().setPrimaryKeyFieldIndex(given.fields.empty() ? -1 : given.primaryKey);
        table.reserveRecords(int(given.records.size()));
        for (const Record& row : given.records) {
            TesselRecord record = table.appendRecord(row.id);
            for (int i = 0; i < row.values.size(); ++i)
                record.setValue(i, row.values[i]);
        }
    }
    model.setMode(mode);
    TesselModelPersistent(model).saveToFile(path);
}

// A database with a one-row table "project" whose name is marker, so that two
// revisions of the database differ.
inline void writeDatabase(const QString& path, const QString& marker)
{
    QFile::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        qFatal("cannot create %s", qPrintable(path));
    const QByteArray sql = "CREATE TABLE project(id INTEGER, name TEXT); INSERT INTO project "
                           "VALUES(1, '"
        + QString(marker).replace('\'', "''").toUtf8() + "');";
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        qFatal("cannot write %s", qPrintable(path));
    sqlite3_close(db);
}

inline void writeProject(const QString& folder, const Revision& model = { projectTable(4242) },
    const QString& marker = QStringLiteral("db"))
{
    QDir().mkpath(folder);
    writeModel(folder + QLatin1Char('/') + kModelFile, model);
    writeDatabase(folder + QLatin1Char('/') + kDatabaseFile, marker);
}

inline void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace ProjectFolders
