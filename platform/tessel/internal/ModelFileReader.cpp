#include "ModelFile.h"
#include "ModelFileLayout.h"
#include "TesselObjects.h"

#include <ksqlite/KSqlStatement.h>
#include <tessel/TesselModel.h>

#include <sqlite3.h>

#include <algorithm>
#include <limits>

using KSQLite::KSqlDatabase;
using KSQLite::KSqlException;
using KSQLite::KSqlStatement;

namespace {

struct TableEntry
{
    TableObject* table = nullptr;
    qint64 primaryKey = -1;
    qint64 recordCount = 0;
};

QString text(const KSqlStatement& row, int column)
{
    return QString::fromStdString(row.getText(column));
}

[[noreturn]] void inconsistent(const QString& fault)
{
    raiseError(QStringLiteral("the model file is inconsistent: %1").arg(fault));
}

// Calls read(row) for every row of the query.
template <class Read> void forEachRow(const KSqlDatabase& db, const char* sql, Read read)
{
    KSqlStatement statement(db, sql);
    while (statement.step())
        read(statement);
}

int pragmaValue(const KSqlDatabase& db, const char* pragma)
{
    KSqlStatement statement(db, std::string("PRAGMA ") + pragma);
    return statement.step() ? statement.getInt(0) : 0;
}

void checkLayout(const KSqlDatabase& db)
{
    if (pragmaValue(db, "application_id") != ModelFileLayout::applicationId)
        raiseError(
            QStringLiteral("the file is an SQLite database of another layout, not a model file"));
    const int version = pragmaValue(db, "user_version");
    if (version != ModelFileLayout::version)
        raiseError(QStringLiteral("the model file has layout version %1; version %2 is supported")
                       .arg(version)
                       .arg(ModelFileLayout::version));
    // Nothing in a model file may run code when read.
    KSqlStatement foreign(
        db, "SELECT count(*) FROM sqlite_schema WHERE type NOT IN ('table', 'index')");
    if (foreign.step() && foreign.getInt(0) != 0)
        raiseError(QStringLiteral("the file holds views or triggers, which the model file layout "
                                  "does not have"));
}

TableEntry& tableAt(std::vector<TableEntry>& tables, qint64 position, const char* item)
{
    if (position < 0 || position >= qint64(tables.size()))
        inconsistent(QStringLiteral("%1 belongs to table %2, which does not exist")
                         .arg(QLatin1String(item))
                         .arg(position));
    return tables[size_t(position)];
}

void readExtPropDef(ExtPropDefListObject& list, const KSqlStatement& row, int codeColumn)
{
    list.items.push_back({ text(row, codeColumn), text(row, codeColumn + 1) });
}

void readModel(const KSqlDatabase& db, ModelObject& model)
{
    KSqlStatement row(db, "SELECT format, version, mode FROM tessel_model");
    if (!row.step())
        inconsistent(QStringLiteral("the model row is missing"));
    if (text(row, 0) != QLatin1String(ModelFileLayout::formatName)
        || row.getInt64(1) != ModelFileLayout::version)
        inconsistent(QStringLiteral("the model row names another format or version"));
    const qint64 mode = row.getInt64(2);
    if (mode < tmDesign || mode > tmRuntime)
        inconsistent(QStringLiteral("unknown mode %1").arg(mode));
    model.mode = TesselMode(mode);
    if (row.step())
        inconsistent(QStringLiteral("more than one model row"));

    forEachRow(db, "SELECT position, code, value FROM tessel_model_props ORDER BY position",
        [&](const KSqlStatement& prop) {
            readExtPropDef(*model.extPropDefs, prop, 1);
        });
    forEachRow(db, "SELECT position, name FROM tessel_databases ORDER BY position",
        [&](const KSqlStatement& database) {
            addNamed(model.databases, text(database, 1), QStringLiteral("the model"));
        });
}

std::vector<TableEntry> readTables(const KSqlDatabase& db, ModelObject& model)
{
    std::vector<TableEntry> tables;
    forEachRow(db,
        "SELECT position, database_position, name, kind, primary_key, record_count "
        "FROM tessel_tables ORDER BY position",
        [&](const KSqlStatement& row) {
            // Fields and records name their table by its position.
            if (row.getInt64(0) != qint64(tables.size()))
                inconsistent(QStringLiteral("table positions do not count up from 0"));
            const qint64 database = row.getInt64(1);
            const QString name = text(row, 2);
            if (database < 0 || database >= qint64(model.databases.size()))
                inconsistent(
                    QStringLiteral("table \"%1\" belongs to database %2, which does not exist")
                        .arg(name)
                        .arg(database));
            const qint64 kind = row.getInt64(3);
            if (kind < ttkOrdinary || kind > ttkSystem)
                inconsistent(
                    QStringLiteral("table \"%1\" has unknown kind %2").arg(name).arg(kind));
            DatabaseObject& owner = *model.databases[size_t(database)];
            TableEntry entry;
            entry.table = &addNamed(
                owner.tables, name, QStringLiteral("database \"%1\"").arg(owner.name));
            entry.table->tableKind = TesselTableKind(kind);
            entry.primaryKey = row.getInt64(4);
            entry.recordCount = row.getInt64(5);
            if (entry.recordCount < 0 || entry.recordCount > std::numeric_limits<int>::max())
                inconsistent(QStringLiteral("table \"%1\" counts %2 records")
                                 .arg(name)
                                 .arg(entry.recordCount));
            tables.push_back(entry);
        });
    return tables;
}

void readFields(const KSqlDatabase& db, std::vector<TableEntry>& tables)
{
    forEachRow(db,
        "SELECT table_position, position, name, data_type FROM tessel_fields "
        "ORDER BY table_position, position",
        [&](const KSqlStatement& row) {
            TableObject& table = *tableAt(tables, row.getInt64(0), "a field").table;
            const QString name = text(row, 2);
            const qint64 type = row.getInt64(3);
            if (type < 0 || type > 64 || !isKnownDataType(int(type)))
                inconsistent(QStringLiteral("field \"%1\" of table \"%2\" has unknown data type %3")
                                 .arg(name, table.name)
                                 .arg(type));
            if (name.isEmpty() || table.fieldIndex(name) >= 0)
                inconsistent(QStringLiteral("table \"%1\" has a field without a name or with the "
                                            "name of another")
                                 .arg(table.name));
            table.fields.push_back(FieldDef { name, TesselDataType(type) });
            table.columns.emplace_back();
        });
    for (TableEntry& entry : tables) {
        const auto fields = qint64(entry.table->fields.size());
        if (entry.primaryKey < -1 || entry.primaryKey >= fields)
            inconsistent(
                QStringLiteral("table \"%1\": primary-key field index out of range (%2 fields)")
                    .arg(entry.table->name)
                    .arg(fields));
        entry.table->primaryKey = int(entry.primaryKey);
    }

    forEachRow(db,
        "SELECT table_position, field_position, position, code, value FROM tessel_field_props "
        "ORDER BY table_position, field_position, position",
        [&](const KSqlStatement& row) {
            TableObject& table = *tableAt(tables, row.getInt64(0), "a field property").table;
            const qint64 field = row.getInt64(1);
            if (field < 0 || field >= qint64(table.fields.size()))
                inconsistent(QStringLiteral("a field property belongs to field %1 of table \"%2\", "
                                            "which does not exist")
                                 .arg(field)
                                 .arg(table.name));
            const FieldDef& def = table.fields[size_t(field)];
            readExtPropDef(*def.extPropDefs, row, 3);
        });
}

CellValue readValue(sqlite3_stmt* row, int column, const CellValue& kind)
{
    if (std::holds_alternative<qint64>(kind))
        return qint64(sqlite3_column_int64(row, column));
    if (std::holds_alternative<double>(kind))
        return sqlite3_column_double(row, column);
    const auto* utf8 = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
    return QString::fromUtf8(utf8, sqlite3_column_bytes(row, column));
}

void readRecords(const KSqlDatabase& db, int position, const TableEntry& entry, qint64 fileSize)
{
    TableObject& table = *entry.table;
    KSqlStatement records;
    try {
        records = KSqlStatement(
            db, "SELECT * FROM " + ModelFileLayout::recordTableName(position).toStdString());
    } catch (const KSqlException& e) {
        inconsistent(QStringLiteral("the records of table \"%1\" cannot be read (%2)")
                         .arg(table.name, QString::fromStdString(e.msg())));
    }
    const int fieldCount = int(table.fields.size());
    if (records.columnCount() != fieldCount + 2)
        inconsistent(QStringLiteral("the records of table \"%1\" hold %2 values each; its schema "
                                    "has %3 fields")
                         .arg(table.name)
                         .arg(records.columnCount() - 2)
                         .arg(fieldCount));
    // Sized by the catalog, which a damaged file cannot make claim more
    // records than it has bytes.
    const auto rows = size_t(std::min(entry.recordCount, fileSize));
    table.ids.reserve(rows);
    std::vector<CellValue> kinds;
    for (size_t f = 0; f < table.fields.size(); ++f) {
        kinds.push_back(emptyValueOf(table.fields[f].type));
        table.columns[f].reserve(rows);
    }
    // The values straight from SQLite's row: the statement is this loop's own.
    sqlite3_stmt* row = records.handle();
    while (records.step()) {
        if (qint64(table.ids.size()) >= entry.recordCount)
            inconsistent(QStringLiteral("table \"%1\" holds more records than its catalog counts (%2)")
                             .arg(table.name)
                             .arg(entry.recordCount));
        table.ids.push_back(quint64(sqlite3_column_int64(row, 1)));
        for (int f = 0; f < fieldCount; ++f)
            table.columns[size_t(f)].push_back(readValue(row, f + 2, kinds[size_t(f)]));
    }
    if (qint64(table.ids.size()) != entry.recordCount)
        inconsistent(QStringLiteral("table \"%1\" holds %2 records; its catalog counts %3")
                         .arg(table.name)
                         .arg(table.ids.size())
                         .arg(entry.recordCount));
}

} // namespace

void readModelFile(const QString& path, ModelObject& model, bool loadRecords)
{
    const qint64 fileSize = checkModelFileHeader(path);
    try {
        const KSqlDatabase db(path.toStdString(), SQLITE_OPEN_READONLY);
        // A model file is hostile input: no schema tricks, no functions of its own.
        sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        checkLayout(db);
        readModel(db, model);
        std::vector<TableEntry> tables = readTables(db, model);
        readFields(db, tables);
        for (size_t position = 0; loadRecords && position < tables.size(); ++position)
            readRecords(db, int(position), tables[position], fileSize);
    } catch (const KSqlException& e) {
        // The file passed the header checks, so SQLite's faults mean damage.
        raiseError(QStringLiteral("the file is damaged or of another layout (%1)")
                       .arg(QString::fromStdString(e.msg())));
    }
}
