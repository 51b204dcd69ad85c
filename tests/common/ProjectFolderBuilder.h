#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// Builds project folders for tests from a short description: the model in the
// tessel tool's JSON form (see tools/tessel/ModelJson.h) and the SQLite
// database as SQL text. Faults end the test program: a fixture that cannot be
// made would only hide what the test is about.
//
// Typical use:
//   ProjectFolderBuilder::write(folder,
//       ProjectFolderBuilder::model({ ProjectFolderBuilder::projectTable(42, 7) }),
//       "CREATE TABLE project(id INTEGER, name TEXT); INSERT INTO project VALUES(42, 'x');");
class ProjectFolderBuilder
{
public:
    // The JSON of a model whose database "DB" holds the given tables (each the
    // JSON object of one table). modelExtPropDefs is the JSON array of the
    // model's own definitions, e.g. converted("True").
    static QByteArray model(const QList<QByteArray>& tables,
        const QByteArray& modelExtPropDefs = QByteArrayLiteral("[]"), int mode = 0);

    // The model-level marker of a converted model, with the value given.
    static QByteArray converted(const QByteArray& value = QByteArrayLiteral("True"));

    // A field definition list entry: "DataType" = marker.
    static QByteArray dataTypeMarker(const QByteArray& marker = QByteArrayLiteral("Int64"));

    // The "project" table: primary key "id", "workspace_id", "name". In an
    // unconverted model (the way the service delivers it) both identifiers
    // are decimal text marked "Int64"; converted they have type int64.
    // Without an id the table has no record.
    static QByteArray projectTable(quint64 id, quint64 workspaceId, bool convertedModel = false);
    static QByteArray emptyProjectTable(bool convertedModel = false);

    struct ElementTypeRow
    {
        quint64 id64;
        int elementTypeId;
        int nodeType;
        QString name;
    };
    // "element_type": "id" (primary key), "element_type_id", "node_type", "name".
    static QByteArray elementTypeTable(const QList<ElementTypeRow>& rows);

    struct SpecialtyRow
    {
        quint64 id64;
        QString name;
    };
    // "specialty": "id" (primary key), "name".
    static QByteArray specialtyTable(const QList<SpecialtyRow>& rows);

    // A usable project: a "project" record with a non-zero id and workspace
    // 7001, in an unconverted model, and a database with a "project" table.
    static void writeUsableProject(const QString& folder);

    // Makes the folder (and its parents) and writes both files into it.
    static void write(
        const QString& folder, const QByteArray& modelJson, const QByteArray& sql = defaultSql());

    // The model file alone, from JSON.
    static void writeModelFile(const QString& path, const QByteArray& modelJson);
    // An SQLite database file holding what the SQL makes.
    static void writeDatabaseFile(const QString& path, const QByteArray& sql);
    // Any bytes, to make files that are neither model nor database.
    static void writeBytes(const QString& path, const QByteArray& bytes);

    static QByteArray defaultSql();

    static QString modelFileName() { return QStringLiteral("KBMProjectTemplate.Tessel"); }
    static QString databaseFileName() { return QStringLiteral("KBMProjectTemplate.db"); }
};
