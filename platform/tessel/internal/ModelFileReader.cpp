#include "ModelFileReader.h"

#include "Errors.h"
#include "ModelFileLayout.h"
#include "ModelObject.h"
#include "SqliteHandles.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace {

struct TableEntry
{
    TableObject* table = nullptr;
    qint64 recordCount = 0;
    int primaryKey = -1;
    std::vector<qint64> textBytes; // per field
};

quint32 bigEndian(const unsigned char* bytes, int count)
{
    quint32 value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

// The checks SQLite's own errors would word vaguely: missing, empty, not
// SQLite, truncated. Returns the file's size.
qint64 checkFileHeader(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        raiseError(QStringLiteral("the file does not exist"));
    if (!info.isFile())
        raiseError(QStringLiteral("the path is not a file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        raiseError(QStringLiteral("the file cannot be read (%1)").arg(file.errorString()));
    const qint64 size = info.size();
    if (size == 0)
        raiseError(QStringLiteral("the file is empty"));
    const QByteArray header = file.read(100);
    static const QByteArray magic("SQLite format 3\0", 16);
    if (!magic.startsWith(header.left(16)))
        raiseError(QStringLiteral("the file is not an SQLite database"));
    if (header.size() < 100)
        raiseError(QStringLiteral("the file is truncated (%1 bytes, shorter than an SQLite header)")
                       .arg(size));
    const auto* bytes = reinterpret_cast<const unsigned char*>(header.constData());
    quint32 pageSize = bigEndian(bytes + 16, 2);
    if (pageSize == 1)
        pageSize = 65536;
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0)
        raiseError(
            QStringLiteral("the file's SQLite header is damaged (page size %1)").arg(pageSize));
    // The page count in the header is valid when its change counter matches.
    const quint32 pageCount = bigEndian(bytes + 28, 4);
    if (pageCount != 0 && bigEndian(bytes + 24, 4) == bigEndian(bytes + 92, 4)) {
        const qint64 expected = qint64(pageSize) * pageCount;
        if (size < expected)
            raiseError(
                QStringLiteral("the file is truncated (%1 of %2 bytes)").arg(size).arg(expected));
    }
    return size;
}

// SQLite's own faults while the catalog is read: the file passed the header
// checks, so they mean damage.
SqliteStatement prepare(sqlite3* db, const QByteArray& sql)
{
    try {
        return prepareSqlite(db, sql);
    } catch (const KRVException& e) {
        raiseError(
            QStringLiteral("the file is damaged or of another layout (%1)").arg(e.message()));
    }
}

bool step(sqlite3* db, sqlite3_stmt* statement)
{
    try {
        return stepSqlite(db, statement);
    } catch (const KRVException& e) {
        raiseError(QStringLiteral("the file is damaged (%1)").arg(e.message()));
    }
}

int pragmaValue(sqlite3* db, const char* pragma)
{
    SqliteStatement statement = prepare(db, QByteArray("PRAGMA ") + pragma);
    return step(db, statement.get()) ? sqlite3_column_int(statement.get(), 0) : 0;
}

void checkLayout(sqlite3* db)
{
    const int applicationId = pragmaValue(db, "application_id");
    if (applicationId != ModelFileLayout::applicationId)
        raiseError(
            QStringLiteral("the file is an SQLite database of another layout, not a model file"));
    const int version = pragmaValue(db, "user_version");
    if (version != ModelFileLayout::version)
        raiseError(QStringLiteral("the model file has layout version %1; version %2 is supported")
                       .arg(version)
                       .arg(ModelFileLayout::version));
    SqliteStatement foreign
        = prepare(db, "SELECT count(*) FROM sqlite_schema WHERE type NOT IN ('table', 'index')");
    if (step(db, foreign.get()) && sqlite3_column_int(foreign.get(), 0) != 0)
        raiseError(QStringLiteral("the file holds views or triggers, which the model file layout "
                                  "does not have"));
}

[[noreturn]] void inconsistent(const QString& fault)
{
    raiseError(QStringLiteral("the model file is inconsistent: %1").arg(fault));
}

void expectPosition(qint64 position, qint64 expected, const QString& what)
{
    if (position != expected)
        inconsistent(QStringLiteral("%1 %2 found where %3 was expected")
                         .arg(what)
                         .arg(position)
                         .arg(expected));
}

void readModelRow(sqlite3* db, ModelObject& model)
{
    SqliteStatement statement = prepare(db, "SELECT format, version, mode FROM tessel_model");
    if (!step(db, statement.get()))
        inconsistent(QStringLiteral("the model row is missing"));
    if (columnText(statement.get(), 0) != QLatin1String(ModelFileLayout::formatName)
        || sqlite3_column_int64(statement.get(), 1) != ModelFileLayout::version)
        inconsistent(QStringLiteral("the model row names another format or version"));
    const qint64 mode = sqlite3_column_int64(statement.get(), 2);
    if (mode < tmDesign || mode > tmRuntime)
        inconsistent(QStringLiteral("unknown mode %1").arg(mode));
    model.setMode(static_cast<TesselMode>(mode));
    if (step(db, statement.get()))
        inconsistent(QStringLiteral("more than one model row"));
}

void readModelProps(sqlite3* db, ModelObject& model)
{
    SqliteStatement statement
        = prepare(db, "SELECT position, code, value FROM tessel_model_props ORDER BY position");
    for (qint64 expected = 0; step(db, statement.get()); ++expected) {
        expectPosition(sqlite3_column_int64(statement.get(), 0), expected,
            QStringLiteral("model property position"));
        model.extPropDefs()->load(columnText(statement.get(), 1), columnText(statement.get(), 2));
    }
}

void readDatabases(sqlite3* db, ModelObject& model)
{
    SqliteStatement statement
        = prepare(db, "SELECT position, name FROM tessel_databases ORDER BY position");
    for (qint64 expected = 0; step(db, statement.get()); ++expected) {
        expectPosition(sqlite3_column_int64(statement.get(), 0), expected,
            QStringLiteral("database position"));
        model.addDatabase(columnText(statement.get(), 1));
    }
}

std::vector<TableEntry> readTables(sqlite3* db, ModelObject& model)
{
    SqliteStatement statement = prepare(db,
        "SELECT position, database_position, name, kind, primary_key, record_count FROM "
        "tessel_tables "
        "ORDER BY position");
    std::vector<TableEntry> tables;
    for (qint64 expected = 0; step(db, statement.get()); ++expected) {
        sqlite3_stmt* row = statement.get();
        expectPosition(sqlite3_column_int64(row, 0), expected, QStringLiteral("table position"));
        const qint64 database = sqlite3_column_int64(row, 1);
        const QString name = columnText(row, 2);
        if (database < 0 || database >= model.databaseCount())
            inconsistent(QStringLiteral("table \"%1\" belongs to database %2, which does not exist")
                             .arg(name)
                             .arg(database));
        const qint64 kind = sqlite3_column_int64(row, 3);
        if (kind < ttkOrdinary || kind > ttkSystem)
            inconsistent(QStringLiteral("table \"%1\" has unknown kind %2").arg(name).arg(kind));
        TableEntry entry;
        entry.table
            = model.database(int(database))->addTable(name, static_cast<TesselTableKind>(kind));
        const qint64 primaryKey = sqlite3_column_int64(row, 4);
        entry.primaryKey = primaryKey < -1 || primaryKey > std::numeric_limits<int>::max()
            ? std::numeric_limits<int>::min()
            : int(primaryKey);
        entry.recordCount = sqlite3_column_int64(row, 5);
        if (entry.recordCount < 0 || entry.recordCount > std::numeric_limits<int>::max())
            inconsistent(
                QStringLiteral("table \"%1\" counts %2 records").arg(name).arg(entry.recordCount));
        tables.push_back(std::move(entry));
    }
    return tables;
}

void readFields(sqlite3* db, std::vector<TableEntry>& tables)
{
    SqliteStatement statement = prepare(db,
        "SELECT table_position, position, name, data_type, text_bytes FROM tessel_fields "
        "ORDER BY table_position, position");
    while (step(db, statement.get())) {
        sqlite3_stmt* row = statement.get();
        const qint64 table = sqlite3_column_int64(row, 0);
        if (table < 0 || table >= qint64(tables.size()))
            inconsistent(
                QStringLiteral("a field belongs to table %1, which does not exist").arg(table));
        TableEntry& entry = tables[size_t(table)];
        expectPosition(sqlite3_column_int64(row, 1), entry.table->fieldCount(),
            QStringLiteral("field position of table \"%1\":").arg(entry.table->name()));
        const QString name = columnText(row, 2);
        const qint64 type = sqlite3_column_int64(row, 3);
        if (type < 0 || type > 64 || !isKnownDataType(int(type)))
            inconsistent(QStringLiteral("field \"%1\" of table \"%2\" has unknown data type %3")
                             .arg(name, entry.table->name())
                             .arg(type));
        entry.table->addField(name, static_cast<TesselDataType>(type));
        entry.textBytes.push_back(std::max<qint64>(0, sqlite3_column_int64(row, 4)));
    }
    for (TableEntry& entry : tables) {
        if (entry.primaryKey < -1 || entry.primaryKey >= entry.table->fieldCount())
            raiseError(QStringLiteral("the model file is inconsistent: table \"%1\": primary-key "
                                      "field index out of range (%2 fields)")
                           .arg(entry.table->name())
                           .arg(entry.table->fieldCount()));
        entry.table->setPrimaryKey(entry.primaryKey);
    }
}

void readFieldProps(sqlite3* db, std::vector<TableEntry>& tables)
{
    SqliteStatement statement = prepare(db,
        "SELECT table_position, field_position, position, code, value FROM tessel_field_props "
        "ORDER BY table_position, field_position, position");
    while (step(db, statement.get())) {
        sqlite3_stmt* row = statement.get();
        const qint64 table = sqlite3_column_int64(row, 0);
        const qint64 field = sqlite3_column_int64(row, 1);
        if (table < 0 || table >= qint64(tables.size()) || field < 0
            || field >= tables[size_t(table)].table->fieldCount())
            inconsistent(QStringLiteral("a field property belongs to field %1 of table %2, which "
                                        "does not exist")
                             .arg(field)
                             .arg(table));
        ExtPropDefListObject& props = *tables[size_t(table)].table->field(int(field)).extPropDefs;
        expectPosition(sqlite3_column_int64(row, 2), props.count(),
            QStringLiteral("property position of field \"%1\" of table \"%2\":")
                .arg(tables[size_t(table)].table->field(int(field)).name,
                    tables[size_t(table)].table->name()));
        props.load(columnText(row, 3), columnText(row, 4));
    }
}

void readRecords(sqlite3* db, int position, TableEntry& entry, qint64 fileSize)
{
    TableObject& table = *entry.table;
    const QByteArray recordTable = ModelFileLayout::recordTableName(position);
    sqlite3_stmt* raw = nullptr;
    const QByteArray sql = "SELECT * FROM " + quotedIdentifier(recordTable);
    if (sqlite3_prepare_v2(db, sql.constData(), sql.size(), &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        inconsistent(QStringLiteral("the records of table \"%1\" cannot be read (%2)")
                         .arg(table.name(), sqliteMessage(db)));
    }
    SqliteStatement statement(raw);
    const int fieldCount = table.fieldCount();
    if (sqlite3_column_count(raw) != fieldCount + 2)
        inconsistent(
            QStringLiteral("the records of table \"%1\" hold %2 values each; its schema has "
                           "%3 fields")
                .arg(table.name())
                .arg(sqlite3_column_count(raw) - 2)
                .arg(fieldCount));

    // The catalog's counts size the vectors once; a damaged catalog cannot
    // make them larger than the file could fill: a row takes at least a cell
    // pointer, a length, a rowid and a header byte per column.
    const auto rows = size_t(std::min(entry.recordCount, fileSize / (4 + fieldCount)));
    std::vector<quint64>& ids = table.loadingIds();
    std::vector<FieldColumn>& columns = table.loadingColumns();
    ids.reserve(rows);
    for (int f = 0; f < fieldCount; ++f)
        columns[size_t(f)].reserve(rows, size_t(std::min(entry.textBytes[size_t(f)], fileSize)));

    int result;
    while ((result = sqlite3_step(raw)) == SQLITE_ROW) {
        if (qint64(ids.size()) >= entry.recordCount)
            inconsistent(
                QStringLiteral("table \"%1\" holds more records than its catalog counts (%2)")
                    .arg(table.name())
                    .arg(entry.recordCount));
        ids.push_back(quint64(sqlite3_column_int64(raw, 1)));
        int column = 2;
        for (FieldColumn& values : columns) {
            switch (values.storage()) {
            case Storage::Int32:
                values.int32s.push_back(sqlite3_column_int(raw, column));
                break;
            case Storage::Int64:
                values.int64s.push_back(sqlite3_column_int64(raw, column));
                break;
            case Storage::Double:
                values.doubles.push_back(sqlite3_column_double(raw, column));
                break;
            case Storage::Text: {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, column));
                values.texts.append(text, size_t(sqlite3_column_bytes(raw, column)));
                break;
            }
            }
            ++column;
        }
    }
    if (result != SQLITE_DONE)
        raiseError(QStringLiteral("the records of table \"%1\" cannot be read: %2")
                       .arg(table.name(), sqliteMessage(db)));
    if (qint64(ids.size()) != entry.recordCount)
        inconsistent(QStringLiteral("table \"%1\" holds %2 records; its catalog counts %3")
                         .arg(table.name())
                         .arg(ids.size())
                         .arg(entry.recordCount));
    table.finishLoading();
}

} // namespace

void readModelFile(const QString& path, ModelObject& model, bool loadRecords)
{
    const qint64 fileSize = checkFileHeader(path);
    SqliteConnection connection;
    try {
        connection = openSqlite(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    } catch (const KRVException& e) {
        raiseError(QStringLiteral("the file cannot be opened as an SQLite database (%1)")
                       .arg(e.message()));
    }
    sqlite3* db = connection.get();
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    // No stored value can be longer than the file; a longer one could only be
    // made up by expressions in a foreign schema.
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH,
        int(std::min<qint64>(std::max<qint64>(fileSize, 1 << 20), 1000000000)));
    checkLayout(db);
    SqliteStatement begin = prepare(db, "BEGIN");
    step(db, begin.get());
    readModelRow(db, model);
    readModelProps(db, model);
    readDatabases(db, model);
    std::vector<TableEntry> tables = readTables(db, model);
    readFields(db, tables);
    readFieldProps(db, tables);
    if (loadRecords) {
        for (size_t position = 0; position < tables.size(); ++position)
            readRecords(db, int(position), tables[position], fileSize);
    }
    SqliteStatement commit = prepare(db, "COMMIT");
    step(db, commit.get());
}
