#include "ModelFile.h"
#include "ModelFileLayout.h"
#include "TesselObjects.h"
#include <bimcore/platform/ksqlite/KSqlStatement.h>
#include <bimcore/storage/fs/FileIo.h>
#include <QFile>
#include <sqlite3.h>
#include <algorithm>
#include <cstring>
#include <limits>

using KSQLite::KSqlDatabase;
using KSQLite::KSqlException;
using KSQLite::KSqlStatement;

namespace {
quint32 bigEndian(const unsigned char* bytes, int count)
{
    quint32 value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

// The checks SQLite's own errors would word vaguely: missing, no file, empty,
// not SQLite, truncated. Returns the file's size.
qint64 checkModelFileHeader(const QString& path)
{
    // Opened once and looked at through the handle: what is checked is what
    // is read.
    const UniqueFd fd = fs::openForReading(path);
    if (!fd && fs::lastErrorIsMissing())
        raiseError(QStringLiteral("the file does not exist"));
    if (!fd)
        raiseError(QStringLiteral("the file cannot be read (%1)").arg(fs::lastError()));
    const qint64 size = fs::sizeOf(fd);
    unsigned char bytes[100] {};
    const qint64 filled = fs::readAt(fd, reinterpret_cast<char*>(bytes), sizeof bytes, 0);
    static const char magic[] = "SQLite format 3";
    if (filled < qint64(sizeof bytes) || std::memcmp(bytes, magic, sizeof magic) != 0)
        raiseError(QStringLiteral("the file is not an SQLite database"));
    // A page size of 1 stands for 65536; the page count is valid when the
    // change counter matches.
    const quint32 pageSize = bigEndian(bytes + 16, 2) == 1 ? 65536 : bigEndian(bytes + 16, 2);
    const qint64 expected = qint64(pageSize) * bigEndian(bytes + 28, 4);
    if (bigEndian(bytes + 24, 4) == bigEndian(bytes + 92, 4) && size < expected)
        raiseError(QStringLiteral("the file is truncated (%1 of %2 bytes)")
                       .arg(size)
                       .arg(expected));
    return size;
}

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

template <class Read> void forEachRow(const KSqlDatabase& db, const std::string& sql, Read read)
{
    KSqlStatement statement(db, sql);
    while (statement.step())
        read(statement);
}

qint64 firstValue(const KSqlDatabase& db, const std::string& sql)
{
    KSqlStatement statement(db, sql);
    return statement.step() ? statement.getInt64(0) : 0;
}

void checkLayout(const KSqlDatabase& db)
{
    if (firstValue(db, "PRAGMA application_id") != ModelFileLayout::applicationId)
        raiseError(
            QStringLiteral("the file is an SQLite database of another layout, not a model file"));
    const qint64 version = firstValue(db, "PRAGMA user_version");
    if (version != ModelFileLayout::version)
        raiseError(QStringLiteral("the model file has layout version %1; version %2 is supported")
                       .arg(version)
                       .arg(ModelFileLayout::version));
    // Nothing in a model file may run code when read.
    if (firstValue(db, "SELECT count(*) FROM sqlite_schema WHERE type NOT IN ('table', 'index')"))
        raiseError(QStringLiteral("the file holds views or triggers, which the model file layout "
                                  "does not have"));
}

TableObject& tableAt(std::vector<TableEntry>& tables, qint64 position)
{
    if (position < 0 || position >= qint64(tables.size()))
        inconsistent(QStringLiteral("a field belongs to table %1, which does not exist").arg(position));
    return *tables[size_t(position)].table;
}

void readModel(const KSqlDatabase& db, ModelObject& model)
{
    KSqlStatement row(db, "SELECT format, version, mode FROM tessel_model");
    if (!row.step() || text(row, 0) != QLatin1String(ModelFileLayout::formatName)
        || row.getInt64(1) != ModelFileLayout::version)
        inconsistent(QStringLiteral("the model row is missing or names another format"));
    const qint64 mode = row.getInt64(2);
    if (mode < tmDesign || mode > tmRuntime)
        inconsistent(QStringLiteral("unknown mode %1").arg(mode));
    model.mode = TesselMode(mode);
    if (row.step())
        inconsistent(QStringLiteral("more than one model row"));
    forEachRow(db, "SELECT code, value FROM tessel_model_props ORDER BY position",
        [&](const KSqlStatement& prop) {
            model.extPropDefs->items.push_back({ text(prop, 0), text(prop, 1) });
        });
    forEachRow(db, "SELECT name FROM tessel_databases ORDER BY position",
        [&](const KSqlStatement& database) {
            addNamed(model.databases, text(database, 0), QStringLiteral("the model"));
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
            const qint64 kind = row.getInt64(3);
            if (database < 0 || database >= qint64(model.databases.size()) || kind < ttkOrdinary
                || kind > ttkSystem)
                inconsistent(QStringLiteral("table \"%1\" has an unknown database or kind").arg(name));
            DatabaseObject& owner = *model.databases[size_t(database)];
            TableEntry entry { &addNamed(owner.tables, name,
                                   QStringLiteral("database \"%1\"").arg(owner.name)),
                row.getInt64(4), row.getInt64(5) };
            entry.table->tableKind = TesselTableKind(kind);
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
        "SELECT table_position, name, data_type FROM tessel_fields "
        "ORDER BY table_position, position",
        [&](const KSqlStatement& row) {
            TableObject& table = tableAt(tables, row.getInt64(0));
            const QString name = text(row, 1);
            const qint64 type = row.getInt64(2);
            if (type < 0 || type > 64 || !isKnownDataType(int(type)))
                inconsistent(QStringLiteral("field \"%1\" of table \"%2\" has unknown data type %3")
                                 .arg(name, table.name)
                                 .arg(type));
            if (name.isEmpty() || table.fieldIndex(name) >= 0)
                inconsistent(QStringLiteral("table \"%1\" has a field without a name or with the "
                                            "name of another")
                                 .arg(table.name));
            table.fields.push_back(FieldDef { name, TesselDataType(type) });
            table.columns.push_back(columnOf(TesselDataType(type)));
        });
    for (TableEntry& entry : tables) {
        if (entry.primaryKey < -1 || entry.primaryKey >= qint64(entry.table->fields.size()))
            inconsistent(QStringLiteral("table \"%1\": primary-key field index out of range")
                             .arg(entry.table->name));
        entry.table->primaryKey = int(entry.primaryKey);
    }
    forEachRow(db,
        "SELECT table_position, field_position, code, value FROM tessel_field_props "
        "ORDER BY table_position, field_position, position",
        [&](const KSqlStatement& row) {
            TableObject& table = tableAt(tables, row.getInt64(0));
            const qint64 field = row.getInt64(1);
            if (field < 0 || field >= qint64(table.fields.size()))
                inconsistent(QStringLiteral("a field property belongs to field %1 of table \"%2\", "
                                            "which does not exist")
                                 .arg(field)
                                 .arg(table.name));
            table.fields[size_t(field)].extPropDefs->items.push_back({ text(row, 2), text(row, 3) });
        });
}

// A text's bytes are asked before their count, as SQLite wants (asking may convert).
void appendRead(Column& column, sqlite3_stmt* row, int index)
{
    if (auto* integers = std::get_if<std::vector<qint64>>(&column)) {
        integers->push_back(sqlite3_column_int64(row, index));
    } else if (auto* reals = std::get_if<std::vector<double>>(&column)) {
        reals->push_back(sqlite3_column_double(row, index));
    } else {
        const auto* utf8 = reinterpret_cast<const char*>(sqlite3_column_text(row, index));
        std::get<std::vector<QByteArray>>(column).emplace_back(
            utf8, sqlite3_column_bytes(row, index));
    }
}

void readRecords(const KSqlDatabase& db, int position, const TableEntry& entry, qint64 fileSize)
{
    TableObject& table = *entry.table;
    const int fieldCount = int(table.fields.size());
    KSqlStatement records;
    try {
        records = KSqlStatement(
            db, "SELECT * FROM " + ModelFileLayout::recordTableName(position).toStdString());
    } catch (const KSqlException& e) {
        inconsistent(QStringLiteral("the records of table \"%1\" cannot be read (%2)")
                         .arg(table.name, QString::fromStdString(e.msg())));
    }
    if (records.columnCount() != fieldCount + 2)
        inconsistent(QStringLiteral("the records of table \"%1\" do not match its %2 fields")
                         .arg(table.name)
                         .arg(fieldCount));
    // Sized by the catalog, which cannot make a file claim more records than
    // it has bytes.
    const auto rows = size_t(std::min(entry.recordCount, fileSize));
    table.ids.reserve(rows);
    for (Column& column : table.columns)
        std::visit([rows](auto& values) { values.reserve(rows); }, column);
    // The values straight from SQLite's row: the statement is this loop's own.
    sqlite3_stmt* row = records.handle();
    while (records.step() && qint64(table.ids.size()) <= entry.recordCount) {
        table.ids.push_back(quint64(sqlite3_column_int64(row, 1)));
        for (int f = 0; f < fieldCount; ++f)
            appendRead(table.columns[size_t(f)], row, f + 2);
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
        KSqlDatabase db(path.toStdString(), SQLITE_OPEN_READONLY);
        // Each page is read once: a cache would only hold memory.
        db.exec("PRAGMA cache_size = -64");
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
