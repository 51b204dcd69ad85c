#pragma once

// Builds project folders for tests: a model file written through the Tessel
// API (so a change of its layout shows up here first) and an SQLite database.

#include <tessel/Tessel.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QVariant>

#include <sqlite3.h>

#include <cstdio>
#include <vector>

namespace ProjectFolders {

inline const QString kModelFile = QStringLiteral("KBMProjectTemplate.Tessel");
inline const QString kDatabaseFile = QStringLiteral("KBMProjectTemplate.db");

struct Field
{
    QString name;
    TesselDataType type;
};

struct Record
{
    quint64 id;
    QVariantList values;
};

struct Table
{
    QString name;
    std::vector<Field> fields;
    std::vector<Record> records;
};

using Revision = std::vector<Table>;

// A "project" table whose first record has identifier `projectId`, so that the
// project counts as a usable local copy when projectId is not 0.
inline Table projectTable(quint64 projectId, const QString& workspace = QStringLiteral("ws-1"))
{
    return { QStringLiteral("project"),
        { { QStringLiteral("id"), tdtInt64 }, { QStringLiteral("workspace_id"), tdtString } },
        { { projectId == 0 ? 1 : projectId,
            { QVariant::fromValue<qint64>(qint64(projectId)), workspace } } } };
}

inline void writeModel(const QString& path, const Revision& tables)
{
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine(nullptr));
    TesselDatabase database = model.addDatabase(QStringLiteral("DB"));
    for (const Table& spec : tables) {
        TesselTable table = database.addTable(spec.name);
        for (const Field& field : spec.fields)
            table.tableSchema().fieldSchemas().add(field.name, field.type);
        if (!spec.fields.empty())
            table.tableSchema().setPrimaryKeyFieldIndex(0);
        table.reserveRecords(int(spec.records.size()));
        for (const Record& spec : spec.records) {
            TesselRecord record = table.appendRecord(spec.id);
            for (int i = 0; i < spec.values.size(); ++i)
                record.setValue(i, spec.values[i]);
        }
    }
    TesselModelPersistent(model).saveToFile(path);
}

// An SQLite database holding one table "marker" with the given text, so that
// two revisions of the database differ.
inline void writeDatabase(const QString& path, const QString& marker)
{
    QFile::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK)
        qFatal("cannot create %s", qPrintable(path));
    const QByteArray sql
        = "CREATE TABLE marker(text TEXT); INSERT INTO marker VALUES('" + marker.toUtf8() + "');";
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        qFatal("cannot write %s", qPrintable(path));
    sqlite3_close(db);
}

inline void writeProject(const QString& folder, const Revision& model, const QString& marker)
{
    QDir().mkpath(folder);
    writeModel(folder + QLatin1Char('/') + kModelFile, model);
    writeDatabase(folder + QLatin1Char('/') + kDatabaseFile, marker);
}

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace ProjectFolders
