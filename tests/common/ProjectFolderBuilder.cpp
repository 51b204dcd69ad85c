#include "ProjectFolderBuilder.h"

#include <ModelJson.h>

#include <krvcommon/KRVException.h>
#include <ksqlite/KSqlDatabase.h>
#include <ksqlite/KSqlException.h>
#include <tessel/TesselModelPersistent.h>

#include <QDir>
#include <QFile>

#include <exception>

namespace {

QByteArray quoted(const QString& text)
{
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// Identifiers as the model keeps them: decimal text before conversion,
// numbers after (as text too from 2^53 on, where a JSON number is not exact).
QByteArray identifierValue(quint64 id, bool convertedModel)
{
    const QByteArray digits = QByteArray::number(id);
    return convertedModel && id < (quint64(1) << 53) ? digits : '"' + digits + '"';
}

QByteArray identifierField(const char* name, bool convertedModel)
{
    return QByteArrayLiteral("{\"name\": \"") + name + "\", \"type\": \""
        + (convertedModel ? "int64" : "string") + "\", \"extPropDefs\": ["
        + ProjectFolderBuilder::dataTypeMarker() + "]}";
}

QByteArray joined(const QList<QByteArray>& parts)
{
    QByteArray out;
    for (const QByteArray& part : parts)
        out += (out.isEmpty() ? "" : ", ") + part;
    return out;
}

[[noreturn]] void fail(const QString& what)
{
    qFatal("ProjectFolderBuilder: %s", qUtf8Printable(what));
    std::terminate();
}

} // namespace

QByteArray ProjectFolderBuilder::model(
    const QList<QByteArray>& tables, const QByteArray& modelExtPropDefs, int mode)
{
    return "{\"mode\": " + QByteArray::number(mode) + ", \"extPropDefs\": " + modelExtPropDefs
        + ", \"databases\": [{\"name\": \"DB\", \"tables\": [" + joined(tables) + "]}]}";
}

QByteArray ProjectFolderBuilder::converted(const QByteArray& value)
{
    return "[{\"code\": \"IgnoreProcessInt64\", \"value\": \"" + value + "\"}]";
}

QByteArray ProjectFolderBuilder::dataTypeMarker(const QByteArray& marker)
{
    return "{\"code\": \"DataType\", \"value\": \"" + marker + "\"}";
}

QByteArray ProjectFolderBuilder::projectTable(quint64 id, quint64 workspaceId, bool convertedModel)
{
    QByteArray table = emptyProjectTable(convertedModel);
    table.chop(2); // reopen the empty record list
    return table + "{\"id64\": \"" + QByteArray::number(id) + "\", \"values\": ["
        + identifierValue(id, convertedModel) + ", " + identifierValue(workspaceId, convertedModel)
        + ", \"Sample\"]}]}";
}

QByteArray ProjectFolderBuilder::emptyProjectTable(bool convertedModel)
{
    return "{\"name\": \"project\", \"kind\": 0, \"primaryKey\": 0, \"fields\": ["
        + identifierField("id", convertedModel) + ", "
        + identifierField("workspace_id", convertedModel)
        + ", {\"name\": \"name\", \"type\": \"string\"}], \"records\": []}";
}

QByteArray ProjectFolderBuilder::elementTypeTable(const QList<ElementTypeRow>& rows)
{
    QList<QByteArray> records;
    for (const ElementTypeRow& row : rows) {
        records << "{\"id64\": \"" + QByteArray::number(row.id64) + "\", \"values\": [\""
                + QByteArray::number(row.id64) + "\", " + QByteArray::number(row.elementTypeId)
                + ", " + QByteArray::number(row.nodeType) + ", " + quoted(row.name) + "]}";
    }
    return "{\"name\": \"element_type\", \"kind\": 0, \"primaryKey\": 0, \"fields\": ["
        + identifierField("id", false)
        + ", {\"name\": \"element_type_id\", \"type\": \"int32\"}"
          ", {\"name\": \"node_type\", \"type\": \"int32\"}"
          ", {\"name\": \"name\", \"type\": \"string\"}], \"records\": ["
        + joined(records) + "]}";
}

QByteArray ProjectFolderBuilder::specialtyTable(const QList<SpecialtyRow>& rows)
{
    QList<QByteArray> records;
    for (const SpecialtyRow& row : rows) {
        records << "{\"id64\": \"" + QByteArray::number(row.id64) + "\", \"values\": [\""
                + QByteArray::number(row.id64) + "\", " + quoted(row.name) + "]}";
    }
    return "{\"name\": \"specialty\", \"kind\": 0, \"primaryKey\": 0, \"fields\": ["
        + identifierField("id", false) + ", {\"name\": \"name\", \"type\": \"string\"}], "
        + "\"records\": [" + joined(records) + "]}";
}

void ProjectFolderBuilder::writeUsableProject(const QString& folder)
{
    write(folder, model({ projectTable(4242, 7001) }));
}

QByteArray ProjectFolderBuilder::defaultSql()
{
    return "CREATE TABLE project(id INTEGER PRIMARY KEY, workspace_id INTEGER, name TEXT);"
           "INSERT INTO project VALUES(4242, 7001, 'Sample');";
}

void ProjectFolderBuilder::write(
    const QString& folder, const QByteArray& modelJson, const QByteArray& sql)
{
    if (!QDir().mkpath(folder))
        fail(QStringLiteral("cannot make %1").arg(folder));
    const QDir dir(folder);
    writeModelFile(dir.filePath(modelFileName()), modelJson);
    writeDatabaseFile(dir.filePath(databaseFileName()), sql);
}

void ProjectFolderBuilder::writeModelFile(const QString& path, const QByteArray& modelJson)
{
    try {
        TesselModelPersistent(ModelJson::fromJson(modelJson)).saveToFile(path);
    } catch (const KRVException& e) {
        fail(e.message());
    } catch (const std::exception& e) {
        fail(QString::fromUtf8(e.what()) + QStringLiteral(" in\n") + QString::fromUtf8(modelJson));
    }
}

void ProjectFolderBuilder::writeDatabaseFile(const QString& path, const QByteArray& sql)
{
    // The wrapper opens only existing files, and an empty file is an empty
    // database.
    writeBytes(path, QByteArray());
    try {
        KSQLite::KSqlDatabase database;
        database.Open(path.toStdString(), true);
        if (!sql.isEmpty())
            database.exec(sql.toStdString());
    } catch (const KSQLite::KSqlException& e) {
        fail(QString::fromStdString(e.msg()));
    }
}

void ProjectFolderBuilder::writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1").arg(path));
}
