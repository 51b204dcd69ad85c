#include "ModelComparison.h"

#include "CentralStoreError.h"
#include "RecordTableScanner.h"

#include <tessel/internal/ModelFileLayout.h>

#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace PlatformSvcComm {

namespace {

constexpr int kFirstFieldColumn = 2; // record tables: position, identifier, fields...

struct CloseDb
{
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct FinalizeStatement
{
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using Db = std::unique_ptr<sqlite3, CloseDb>;
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

struct TableEntry
{
    int position { 0 };
    QString name;
    std::string signature; // field names and data types, in order
    int fieldCount { 0 };
};

// (database name, table name) -> table
using Catalog = std::map<std::pair<QString, QString>, TableEntry>;

class ModelFile
{
public:
    explicit ModelFile(const QString& path)
        : m_path(path)
    {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw,
            SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        m_db.reset(raw);
        if (rc != SQLITE_OK)
            fail(QStringLiteral("cannot be opened"));
        // Reading through a mapping saves a copy of every page.
        exec("PRAGMA mmap_size = 4294967296");
        if (pragma("application_id") != ModelFileLayout::applicationId
            || pragma("user_version") != ModelFileLayout::version)
            fail(QStringLiteral("is no model file of a known layout"));
        readCatalog();
        m_mapping.setFileName(path);
        if (m_mapping.open(QIODevice::ReadOnly))
            m_map = m_mapping.map(0, m_mapping.size());
    }

    // The whole file in memory (null when it could not be mapped), for the
    // direct record scan.
    const uchar* mapped() const { return m_map; }
    qint64 mappedSize() const { return m_mapping.size(); }

    quint32 rootPage(int tablePosition) const
    {
        Statement statement
            = prepare("SELECT rootpage FROM sqlite_schema WHERE type = 'table' AND name = '"
                + ModelFileLayout::recordTableName(tablePosition).toStdString() + "'");
        return step(statement.get()) ? quint32(sqlite3_column_int64(statement.get(), 0)) : 0;
    }

    const Catalog& catalog() const { return m_catalog; }

    Statement records(int tablePosition) const
    {
        return prepare(
            "SELECT * FROM " + ModelFileLayout::recordTableName(tablePosition).toStdString());
    }

    // Steps a statement; false at the end.
    bool step(sqlite3_stmt* statement) const
    {
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail(QStringLiteral("cannot be read"));
        return false;
    }

    [[noreturn]] void fail(const QString& what) const
    {
        QString text = QStringLiteral("The model file \"%1\" %2")
                           .arg(QDir::toNativeSeparators(m_path), what);
        if (m_db && sqlite3_errcode(m_db.get()) != SQLITE_OK)
            text += QStringLiteral(" (%1)").arg(QString::fromUtf8(sqlite3_errmsg(m_db.get())));
        throw CentralStoreError(text + QLatin1Char('.'));
    }

private:
    Statement prepare(const std::string& sql) const
    {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(m_db.get(), sql.c_str(), int(sql.size()), &raw, nullptr)
            != SQLITE_OK) {
            sqlite3_finalize(raw);
            fail(QStringLiteral("is damaged or of another layout"));
        }
        return Statement(raw);
    }

    void exec(const char* sql) const { sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr); }

    int pragma(const char* name) const
    {
        Statement statement = prepare(std::string("PRAGMA ") + name);
        return step(statement.get()) ? sqlite3_column_int(statement.get(), 0) : 0;
    }

    static QString text(sqlite3_stmt* statement, int column)
    {
        return QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
            sqlite3_column_bytes(statement, column));
    }

    void readCatalog()
    {
        std::vector<QString> databases;
        Statement dbs = prepare("SELECT name FROM tessel_databases ORDER BY position");
        while (step(dbs.get()))
            databases.push_back(text(dbs.get(), 0));

        std::vector<std::pair<QString, QString>> keys;
        Statement tables = prepare(
            "SELECT position, database_position, name FROM tessel_tables ORDER BY position");
        while (step(tables.get())) {
            const int position = sqlite3_column_int(tables.get(), 0);
            const qint64 database = sqlite3_column_int64(tables.get(), 1);
            if (position != int(keys.size()) || database < 0
                || database >= qint64(databases.size()))
                fail(QStringLiteral("has an inconsistent table catalog"));
            keys.emplace_back(databases[size_t(database)], text(tables.get(), 2));
            TableEntry& entry = m_catalog[keys.back()];
            entry.position = position;
            entry.name = keys.back().second;
        }

        Statement fields
            = prepare("SELECT table_position, position, name, data_type FROM tessel_fields "
                      "ORDER BY table_position, position");
        while (step(fields.get())) {
            const qint64 table = sqlite3_column_int64(fields.get(), 0);
            if (table < 0 || table >= qint64(keys.size()))
                fail(QStringLiteral("has an inconsistent field catalog"));
            TableEntry& entry = m_catalog[keys[size_t(table)]];
            entry.signature += text(fields.get(), 2).toStdString();
            entry.signature += ':' + std::to_string(sqlite3_column_int64(fields.get(), 3)) + ';';
            ++entry.fieldCount;
        }
    }

    QString m_path;
    Db m_db;
    Catalog m_catalog;
    QFile m_mapping;
    const uchar* m_map { nullptr };
};

quint64 recordId(sqlite3_stmt* row)
{
    return quint64(sqlite3_column_int64(row, 1));
}

bool sameValue(sqlite3_stmt* a, sqlite3_stmt* b, int column)
{
    const int type = sqlite3_column_type(a, column);
    if (type != sqlite3_column_type(b, column))
        return false;
    switch (type) {
    case SQLITE_INTEGER:
        return sqlite3_column_int64(a, column) == sqlite3_column_int64(b, column);
    case SQLITE_FLOAT: {
        const double x = sqlite3_column_double(a, column);
        const double y = sqlite3_column_double(b, column);
        return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case SQLITE_NULL:
        return true;
    default: {
        const void* x = sqlite3_column_blob(a, column);
        const int length = sqlite3_column_bytes(a, column);
        const void* y = sqlite3_column_blob(b, column);
        return length == sqlite3_column_bytes(b, column)
            && (length == 0 || std::memcmp(x, y, size_t(length)) == 0);
    }
    }
}

bool sameValues(sqlite3_stmt* a, sqlite3_stmt* b)
{
    const int columns = sqlite3_column_count(a);
    if (columns != sqlite3_column_count(b))
        return false;
    for (int column = kFirstFieldColumn; column < columns; ++column)
        if (!sameValue(a, b, column))
            return false;
    return true;
}

// A record's stored values, kept while its counterpart has not turned up.
std::string storedValues(sqlite3_stmt* row)
{
    std::string bytes;
    const int columns = sqlite3_column_count(row);
    for (int column = kFirstFieldColumn; column < columns; ++column) {
        const int type = sqlite3_column_type(row, column);
        bytes += char(type);
        if (type == SQLITE_INTEGER) {
            const qint64 value = sqlite3_column_int64(row, column);
            bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
        } else if (type == SQLITE_FLOAT) {
            const double value = sqlite3_column_double(row, column);
            bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
        } else if (type != SQLITE_NULL) {
            const auto* data = static_cast<const char*>(sqlite3_column_blob(row, column));
            const int length = sqlite3_column_bytes(row, column);
            bytes.append(reinterpret_cast<const char*>(&length), sizeof length);
            bytes.append(data, size_t(length));
        }
    }
    return bytes;
}

void listAll(const ModelFile& file, int position, RecordChange change, RecordChangeMap& out)
{
    Statement records = file.records(position);
    while (file.step(records.get()))
        out[recordId(records.get())] = change;
}

// Walks both record tables side by side. Records at the same step with the
// same identifier (the usual case: revisions keep their order) are compared in
// place; the others wait in a map for their counterpart.
void compareTables(const ModelFile& oldFile, const TableEntry& oldTable, const ModelFile& newFile,
    const TableEntry& newTable, RecordChangeMap& out)
{
    const bool sameFields = oldTable.signature == newTable.signature;
    Statement oldRecords = oldFile.records(oldTable.position);
    Statement newRecords = newFile.records(newTable.position);
    sqlite3_stmt* oldRow = oldRecords.get();
    sqlite3_stmt* newRow = newRecords.get();
    std::unordered_map<quint64, std::string> oldWaiting;
    std::unordered_map<quint64, std::string> newWaiting;

    auto meet = [&](sqlite3_stmt* row, std::unordered_map<quint64, std::string>& mine,
                    std::unordered_map<quint64, std::string>& theirs) {
        const quint64 id = recordId(row);
        const auto counterpart = theirs.find(id);
        if (counterpart == theirs.end()) {
            mine.emplace(id, storedValues(row));
            return;
        }
        if (!sameFields || counterpart->second != storedValues(row))
            out[id] = RecordChanged;
        theirs.erase(counterpart);
    };

    bool oldMore = oldFile.step(oldRow);
    bool newMore = newFile.step(newRow);
    while (oldMore && newMore) {
        if (recordId(oldRow) == recordId(newRow)) {
            if (!sameFields || !sameValues(oldRow, newRow))
                out[recordId(newRow)] = RecordChanged;
        } else {
            meet(oldRow, oldWaiting, newWaiting);
            meet(newRow, newWaiting, oldWaiting);
        }
        oldMore = oldFile.step(oldRow);
        newMore = newFile.step(newRow);
    }
    for (; oldMore; oldMore = oldFile.step(oldRow))
        meet(oldRow, oldWaiting, newWaiting);
    for (; newMore; newMore = newFile.step(newRow))
        meet(newRow, newWaiting, oldWaiting);
    for (const auto& record : oldWaiting)
        out[record.first] = RecordRemoved;
    for (const auto& record : newWaiting)
        out[record.first] = RecordAdded;
}

std::atomic<long> s_directScanFallbacks { 0 };

// The same walk over the stored records, read straight from the mapped files:
// a record whose stored bytes are equal on both sides is the same record with
// the same values, and only the others are decoded.
void scanTables(const ModelFile& oldFile, const TableEntry& oldTable, const ModelFile& newFile,
    const TableEntry& newTable, RecordChangeMap& out)
{
    if (!oldFile.mapped() || !newFile.mapped())
        throw UnexpectedLayout("file not mapped");
    const bool sameFields = oldTable.signature == newTable.signature;
    RecordTableScanner oldRecords(
        oldFile.mapped(), oldFile.mappedSize(), oldFile.rootPage(oldTable.position));
    RecordTableScanner newRecords(
        newFile.mapped(), newFile.mappedSize(), newFile.rootPage(newTable.position));
    std::unordered_map<quint64, std::string> oldWaiting;
    std::unordered_map<quint64, std::string> newWaiting;

    auto meet
        = [&](const RecordTableScanner& record, std::unordered_map<quint64, std::string>& mine,
              std::unordered_map<quint64, std::string>& theirs) {
              const quint64 id = quint64(record.integerColumn(1));
              const auto counterpart = theirs.find(id);
              if (counterpart == theirs.end()) {
                  mine.emplace(id, record.columnsFrom(kFirstFieldColumn));
                  return;
              }
              if (!sameFields || counterpart->second != record.columnsFrom(kFirstFieldColumn))
                  out[id] = RecordChanged;
              theirs.erase(counterpart);
          };

    bool oldMore = oldRecords.next();
    bool newMore = newRecords.next();
    while (oldMore && newMore) {
        const bool sameBytes = oldRecords.payloadSize() == newRecords.payloadSize()
            && std::memcmp(
                   oldRecords.payload(), newRecords.payload(), size_t(oldRecords.payloadSize()))
                == 0;
        if (sameBytes) {
            if (!sameFields)
                out[quint64(newRecords.integerColumn(1))] = RecordChanged;
        } else {
            const quint64 oldId = quint64(oldRecords.integerColumn(1));
            if (oldId == quint64(newRecords.integerColumn(1))) {
                if (!sameFields
                    || oldRecords.columnsFrom(kFirstFieldColumn)
                        != newRecords.columnsFrom(kFirstFieldColumn))
                    out[oldId] = RecordChanged;
            } else {
                meet(oldRecords, oldWaiting, newWaiting);
                meet(newRecords, newWaiting, oldWaiting);
            }
        }
        oldMore = oldRecords.next();
        newMore = newRecords.next();
    }
    for (; oldMore; oldMore = oldRecords.next())
        meet(oldRecords, oldWaiting, newWaiting);
    for (; newMore; newMore = newRecords.next())
        meet(newRecords, newWaiting, oldWaiting);
    for (const auto& record : oldWaiting)
        out[record.first] = RecordRemoved;
    for (const auto& record : newWaiting)
        out[record.first] = RecordAdded;
}

void compareTable(const ModelFile& oldFile, const TableEntry& oldTable, const ModelFile& newFile,
    const TableEntry& newTable, RecordChangeMap& out)
{
    try {
        scanTables(oldFile, oldTable, newFile, newTable, out);
    } catch (const UnexpectedLayout&) {
        // Something the direct scan does not know: SQLite reads it.
        ++s_directScanFallbacks;
        out.clear();
        compareTables(oldFile, oldTable, newFile, newTable, out);
    }
}

} // namespace

long directScanFallbacks()
{
    return s_directScanFallbacks.load();
}

void checkModelFile(const QString& model)
{
    ModelFile file(model);
}

TableChangeMap compareModelFiles(const QString& oldModel, const QString& newModel)
{
    const ModelFile oldFile(oldModel);
    const ModelFile newFile(newModel);
    TableChangeMap changes;
    for (const auto& [key, newTable] : newFile.catalog()) {
        RecordChangeMap records;
        const auto oldTable = oldFile.catalog().find(key);
        if (oldTable == oldFile.catalog().end())
            listAll(newFile, newTable.position, RecordAdded, records);
        else
            compareTable(oldFile, oldTable->second, newFile, newTable, records);
        if (!records.empty())
            changes[newTable.name.toStdWString()].merge(records);
    }
    for (const auto& [key, oldTable] : oldFile.catalog()) {
        if (newFile.catalog().count(key))
            continue;
        RecordChangeMap records;
        listAll(oldFile, oldTable.position, RecordRemoved, records);
        if (!records.empty())
            changes[oldTable.name.toStdWString()].merge(records);
    }
    return changes;
}

} // namespace PlatformSvcComm
