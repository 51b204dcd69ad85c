#include "ModelFile.h"
#include "ModelFileLayout.h"
#include "TesselObjects.h"

#include <bimcore/platform/ksqlite/KSqlStatement.h>
#include <bimcore/platform/tessel/TesselModel.h>

#include <QFile>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using KSQLite::KSqlDatabase;
using KSQLite::KSqlException;
using KSQLite::KSqlStatement;

namespace {

struct TableEntry
{
    TableObject* table = nullptr;
    qint64 primaryKey = -1;
    qint64 recordCount = 0;
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
// SQLite, truncated. Returns the file's size. Plain system calls: Qt's file
// classes would bring hundreds of KiB of their code into memory for these
// few calls.
qint64 checkFileHeader(const QString& path)
{
    // Opened once and looked at through the descriptor: what is checked is
    // what is read. Not blocking, so that a pipe at the path cannot hold the
    // open up before it is found to be no file.
    const int descriptor
        = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0 && (errno == ENOENT || errno == ENOTDIR))
        raiseError(QStringLiteral("the file does not exist"));
    if (descriptor < 0)
        raiseError(QStringLiteral("the file cannot be read (%1)").arg(qt_error_string(errno)));
    struct stat status
    {
    };
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        raiseError(QStringLiteral("the path is not a file"));
    }
    unsigned char bytes[100];
    ssize_t filled = 0; // a failed read leaves the header short, as an end of file does
    while (filled < ssize_t(sizeof bytes)) {
        const ssize_t got
            = ::pread(descriptor, bytes + filled, sizeof bytes - size_t(filled), filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        filled += got;
    }
    ::close(descriptor);
    const qint64 size = status.st_size;
    if (size == 0)
        raiseError(QStringLiteral("the file is empty"));
    static const char magic[] = "SQLite format 3";
    if (std::memcmp(bytes, magic, size_t(std::min<ssize_t>(filled, sizeof magic))) != 0)
        raiseError(QStringLiteral("the file is not an SQLite database"));
    if (filled < ssize_t(sizeof bytes))
        raiseError(QStringLiteral("the file is truncated (%1 bytes, shorter than an SQLite header)")
                       .arg(size));
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

QString sqliteMessage(const KSqlException& e)
{
    return QString::fromStdString(e.msg());
}

KSqlDatabase openFile(const QString& path)
{
    try {
        // No mutex: the connection is this reader's alone, and every value
        // read would take it.
        return KSqlDatabase(path.toStdString(), SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    } catch (const KSqlException& e) {
        raiseError(QStringLiteral("the file cannot be opened as an SQLite database (%1)")
                       .arg(sqliteMessage(e)));
    }
}

QString text(const KSqlStatement& row, int column)
{
    return QString::fromStdString(row.getText(column));
}

// Calls read(row, index) for every row of the query, index counting from 0.
template <class Read> void forEachRow(const KSqlDatabase& db, const char* sql, Read read)
{
    KSqlStatement statement(db, sql);
    for (qint64 index = 0; statement.step(); ++index)
        read(statement, index);
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
    KSqlStatement foreign(
        db, "SELECT count(*) FROM sqlite_schema WHERE type NOT IN ('table', 'index')");
    if (foreign.step() && foreign.getInt(0) != 0)
        raiseError(QStringLiteral("the file holds views or triggers, which the model file layout "
                                  "does not have"));
}

[[noreturn]] void inconsistent(const QString& fault)
{
    raiseError(QStringLiteral("the model file is inconsistent: %1").arg(fault));
}

// what() names the position; it is asked only on failure, as the check runs
// for every catalog row.
template <class What> void expectPosition(qint64 position, qint64 expected, What what)
{
    if (position != expected)
        inconsistent(QStringLiteral("%1 %2 found where %3 was expected")
                         .arg(what())
                         .arg(position)
                         .arg(expected));
}

TableEntry& tableAt(std::vector<TableEntry>& tables, qint64 position, const char* item)
{
    if (position < 0 || position >= qint64(tables.size()))
        inconsistent(QStringLiteral("%1 belongs to table %2, which does not exist")
                         .arg(QLatin1String(item))
                         .arg(position));
    return tables[size_t(position)];
}

void readExtPropDef(TesselExtPropDefs list, const KSqlStatement& row, int codeColumn)
{
    TesselExtPropDef definition = list.add();
    definition.setCode(text(row, codeColumn));
    definition.setValue(text(row, codeColumn + 1));
}

void readModel(const KSqlDatabase& db, TesselModel model)
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
    model.setMode(static_cast<TesselMode>(mode));
    if (row.step())
        inconsistent(QStringLiteral("more than one model row"));

    forEachRow(db, "SELECT position, code, value FROM tessel_model_props ORDER BY position",
        [&](const KSqlStatement& prop, qint64 index) {
            expectPosition(
                prop.getInt64(0), index, [] { return QStringLiteral("model property position"); });
            readExtPropDef(model.extPropDefs(), prop, 1);
        });
    forEachRow(db, "SELECT position, name FROM tessel_databases ORDER BY position",
        [&](const KSqlStatement& database, qint64 index) {
            expectPosition(
                database.getInt64(0), index, [] { return QStringLiteral("database position"); });
            model.addDatabase(text(database, 1));
        });
}

std::vector<TableEntry> readTables(const KSqlDatabase& db, TesselModel model)
{
    std::vector<TableEntry> tables;
    forEachRow(db,
        "SELECT position, database_position, name, kind, primary_key, record_count "
        "FROM tessel_tables ORDER BY position",
        [&](const KSqlStatement& row, qint64 index) {
            expectPosition(row.getInt64(0), index, [] { return QStringLiteral("table position"); });
            const qint64 database = row.getInt64(1);
            const QString name = text(row, 2);
            if (database < 0 || database >= model.databaseCount())
                inconsistent(
                    QStringLiteral("table \"%1\" belongs to database %2, which does not exist")
                        .arg(name)
                        .arg(database));
            const qint64 kind = row.getInt64(3);
            if (kind < ttkOrdinary || kind > ttkSystem)
                inconsistent(
                    QStringLiteral("table \"%1\" has unknown kind %2").arg(name).arg(kind));
            TableEntry entry;
            entry.table = &objectOf<TableObject>(
                model.databases(int(database)).addTable(name, TesselTableKind(kind)).get());
            entry.primaryKey = row.getInt64(4);
            entry.recordCount = row.getInt64(5);
            if (entry.recordCount < 0 || entry.recordCount > std::numeric_limits<int>::max())
                inconsistent(QStringLiteral("table \"%1\" counts %2 records")
                                 .arg(name)
                                 .arg(entry.recordCount));
            tables.push_back(std::move(entry));
        });
    return tables;
}

void readFields(const KSqlDatabase& db, std::vector<TableEntry>& tables)
{
    forEachRow(db,
        "SELECT table_position, position, name, data_type, text_bytes FROM tessel_fields "
        "ORDER BY table_position, position",
        [&](const KSqlStatement& row, qint64) {
            TableEntry& entry = tableAt(tables, row.getInt64(0), "a field");
            TableObject& table = *entry.table;
            expectPosition(row.getInt64(1), qint64(table.fields.size()),
                [&] { return QStringLiteral("field position of table \"%1\":").arg(table.name); });
            const QString name = text(row, 2);
            const qint64 type = row.getInt64(3);
            if (type < 0 || type > 64 || !isKnownDataType(int(type)))
                inconsistent(QStringLiteral("field \"%1\" of table \"%2\" has unknown data type %3")
                                 .arg(name, table.name)
                                 .arg(type));
            TesselFieldSchemas(&table).add(name, static_cast<TesselDataType>(type));
            entry.textBytes.push_back(std::max<qint64>(0, row.getInt64(4)));
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
        [&](const KSqlStatement& row, qint64) {
            TableObject& table = *tableAt(tables, row.getInt64(0), "a field property").table;
            const qint64 field = row.getInt64(1);
            if (field < 0 || field >= qint64(table.fields.size()))
                inconsistent(QStringLiteral("a field property belongs to field %1 of table \"%2\", "
                                            "which does not exist")
                                 .arg(field)
                                 .arg(table.name));
            const FieldDef& def = table.fields[size_t(field)];
            const TesselExtPropDefs props(def.extPropDefs.get());
            expectPosition(row.getInt64(2), props.count(), [&] {
                return QStringLiteral("property position of field \"%1\" of table \"%2\":")
                    .arg(def.name, table.name);
            });
            readExtPropDef(props, row, 3);
        });
}

// A model as delivered keeps 64-bit identifiers as decimal texts in fields
// marked so, and has them converted to numbers once loaded. Kept as numbers
// from the start, they take less memory, and the conversion need not walk
// them again.
bool holdsDecimalIdentifiers(const FieldDef& field)
{
    if (field.type != tdtString)
        return false;
    for (const ExtPropDef& definition : field.extPropDefs->items) {
        if (definition.code == QLatin1String("DataType"))
            return definition.value == QLatin1String("Int64");
    }
    return false;
}

void readRecords(const KSqlDatabase& db, int position, TableEntry& entry, qint64 fileSize)
{
    TableObject& table = *entry.table;
    KSqlStatement records;
    try {
        records = KSqlStatement(
            db, "SELECT * FROM " + ModelFileLayout::recordTableName(position).toStdString());
    } catch (const KSqlException& e) {
        inconsistent(QStringLiteral("the records of table \"%1\" cannot be read (%2)")
                         .arg(table.name, sqliteMessage(e)));
    }
    const int fieldCount = int(table.fields.size());
    if (records.columnCount() != fieldCount + 2)
        inconsistent(
            QStringLiteral("the records of table \"%1\" hold %2 values each; its schema has "
                           "%3 fields")
                .arg(table.name)
                .arg(records.columnCount() - 2)
                .arg(fieldCount));

    // The catalog's counts size the vectors once; a damaged catalog cannot
    // make them larger than the file could fill: a row takes at least a cell
    // pointer, a length, a rowid and a header byte per column.
    const auto rows = size_t(std::min(entry.recordCount, fileSize / (4 + fieldCount)));
    table.ids.reserve(rows);
    for (int f = 0; f < fieldCount; ++f) {
        FieldColumn& column = table.columns[size_t(f)];
        if (holdsDecimalIdentifiers(table.fields[size_t(f)]))
            column.texts.startDecimalCoding();
        // A key of 64-bit identifiers mostly holds the records' own.
        if (f == table.primaryKey && column.storage == Storage::Int64)
            column.shareIdentifiers(table.ids);
        column.reserve(rows);
        if (column.storage == Storage::Text)
            column.texts.reserveBytes(size_t(std::min(entry.textBytes[size_t(f)], fileSize)));
    }

    // Values straight from SQLite into the typed vectors: no check or copy
    // per value beyond SQLite's own.
    sqlite3_stmt* row = records.handle();
    try {
        while (records.step()) {
            if (qint64(table.ids.size()) >= entry.recordCount)
                inconsistent(
                    QStringLiteral("table \"%1\" holds more records than its catalog counts (%2)")
                        .arg(table.name)
                        .arg(entry.recordCount));
            table.ids.push_back(quint64(sqlite3_column_int64(row, 1)));
            int column = 2;
            for (FieldColumn& values : table.columns) {
                switch (values.storage) {
                case Storage::Int32:
                    values.int32s.push_back(sqlite3_column_int(row, column));
                    break;
                case Storage::Int64: {
                    const sqlite3_int64 value = sqlite3_column_int64(row, column);
                    if (!values.sharesIdentifiers() || !values.appendShared(value))
                        values.int64s.push_back(value);
                    break;
                }
                case Storage::Double:
                    values.doubles.push_back(sqlite3_column_double(row, column));
                    break;
                case Storage::Text: {
                    const auto* text
                        = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
                    const auto length = size_t(sqlite3_column_bytes(row, column));
                    values.texts.appendCoded(text, length);
                    break;
                }
                }
                ++column;
            }
        }
    } catch (const KSqlException& e) {
        raiseError(QStringLiteral("the records of table \"%1\" cannot be read: %2")
                       .arg(table.name, sqliteMessage(e)));
    }
    if (qint64(table.ids.size()) != entry.recordCount)
        inconsistent(QStringLiteral("table \"%1\" holds %2 records; its catalog counts %3")
                         .arg(table.name)
                         .arg(table.ids.size())
                         .arg(entry.recordCount));
}

} // namespace

void readModelFile(const QString& path, ModelObject& target, bool loadRecords)
{
    const qint64 fileSize = checkFileHeader(path);
    KSqlDatabase db = openFile(path);
    sqlite3* handle = db.handle();
    sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    // No stored value can be longer than the file; a longer one could only be
    // made up by expressions in a foreign schema.
    sqlite3_limit(handle, SQLITE_LIMIT_LENGTH,
        int(std::min<qint64>(std::max<qint64>(fileSize, 1 << 20), 1000000000)));
    try {
        // Every page is read once: a cache would only add to the memory
        // the loaded values take.
        db.exec("PRAGMA cache_size = -64");
        checkLayout(db);
        // One read transaction: every table is read from the same state of
        // the file, under one lock.
        KSQLite::KSqlTransaction snapshot(db);
        const TesselModel model(&target);
        readModel(db, model);
        std::vector<TableEntry> tables = readTables(db, model);
        readFields(db, tables);
        if (loadRecords) {
            for (size_t position = 0; position < tables.size(); ++position)
                readRecords(db, int(position), tables[position], fileSize);
        }
    } catch (const KSqlException& e) {
        // The file passed the header checks, so SQLite's faults mean damage.
        raiseError(
            QStringLiteral("the file is damaged or of another layout (%1)").arg(sqliteMessage(e)));
    }
}
