#include "ModelComparison.h"
#include <bimcore/platform/ksqlite/KSqlStatement.h>
#include <QDir>
#include <QFileInfo>
#include <map>
#include <stdexcept>

namespace PlatformSvcComm {
namespace {
using KSQLite::KSqlDatabase;
using KSQLite::KSqlStatement;

// The model file layout that the data-model library documents beside its
// sources (FORMAT.md), read here as any program reads a published format.
constexpr std::int64_t kApplicationId = 0x54534C4D; // "TSLM"
constexpr std::int64_t kLayoutVersion = 1;

struct TableEntry
{
    int position { 0 };
    std::string signature; // field names and data types, in order
    int fieldCount { 0 };
};

// (database name, table name) -> table
using Catalog = std::map<std::pair<std::string, std::string>, TableEntry>;

std::string recordTable(const std::string& schema, int position)
{
    return schema + ".tessel_records_" + std::to_string(position);
}

Catalog readCatalog(const KSqlDatabase& db, const std::string& schema)
{
    auto pragma = [&](const char* name) {
        KSqlStatement statement(db, "PRAGMA " + schema + '.' + name);
        return statement.step() ? statement.getInt64(0) : 0;
    };
    if (pragma("application_id") != kApplicationId || pragma("user_version") != kLayoutVersion)
        throw std::runtime_error("no model file of a known layout");
    Catalog catalog;
    KSqlStatement tables(db,
        "SELECT t.position, d.name, t.name, f.name, f.data_type FROM " + schema
            + ".tessel_tables AS t JOIN " + schema
            + ".tessel_databases AS d ON d.position = t.database_position LEFT JOIN " + schema
            + ".tessel_fields AS f ON f.table_position = t.position ORDER BY t.position, "
              "f.position");
    while (tables.step()) {
        TableEntry& entry = catalog[{ tables.getText(1), tables.getText(2) }];
        entry.position = tables.getInt(0);
        if (!tables.isNull(3)) {
            entry.signature += tables.getText(3) + ':' + std::to_string(tables.getInt64(4)) + ';';
            ++entry.fieldCount;
        }
    }
    return catalog;
}

// Records are paired by identifier, unique within a table. A table missing
// from one model (null) compares as one without records.
void compareTable(const KSqlDatabase& db, const TableEntry* oldTable, const TableEntry* newTable,
    RecordChangeMap& out)
{
    const std::string none = "(SELECT NULL AS id LIMIT 0)";
    const std::string newRecords = newTable ? recordTable("main", newTable->position) : none;
    const std::string oldRecords = oldTable ? recordTable("prior", oldTable->position) : none;
    std::string same
        = oldTable && newTable && oldTable->signature == newTable->signature ? "1" : "0";
    for (int field = 0; same != "0" && field < newTable->fieldCount; ++field) {
        const std::string column = "f" + std::to_string(field);
        same += " AND o." + column + " IS n." + column;
    }
    KSqlStatement pairs(db,
        "SELECT n.id, o.id FROM " + newRecords + " AS n LEFT JOIN " + oldRecords
            + " AS o ON o.id = n.id WHERE o.id IS NULL OR NOT (" + same
            + ") UNION ALL SELECT NULL, id FROM " + oldRecords + " WHERE id NOT IN (SELECT id FROM "
            + newRecords + ")");
    while (pairs.step()) {
        if (pairs.isNull(0))
            out[quint64(pairs.getInt64(1))] = RecordRemoved;
        else
            out[quint64(pairs.getInt64(0))] = pairs.isNull(1) ? RecordAdded : RecordChanged;
    }
}

} // namespace

TableChangeMap compareModelFiles(const QString& oldModel, const QString& newModel)
{
    // The new model is the main database, read-only, so that attaching the old
    // one never creates it.
    KSqlDatabase db;
    Catalog newCatalog;
    try {
        db.Open(QFileInfo(newModel).absoluteFilePath().toStdString(), false);
        newCatalog = readCatalog(db, "main");
    } catch (const std::exception& e) {
        throw std::runtime_error(
            QStringLiteral("The model file \"%1\" cannot be read (%2).")
                .arg(QDir::toNativeSeparators(newModel), QString::fromUtf8(e.what()))
                .toStdString());
    }
    Catalog oldCatalog;
    try {
        KSqlStatement attach(db, "ATTACH ?1 AS prior");
        attach.bindText(1, QFileInfo(oldModel).absoluteFilePath().toStdString());
        attach.execute();
        db.exec("PRAGMA temp_store = MEMORY"); // the indexes pairing the records
        oldCatalog = readCatalog(db, "prior");
    } catch (const std::exception&) {
        return {};
    }

    TableChangeMap changes;
    auto tableChanges = [&changes](const auto& key) -> RecordChangeMap& {
        return changes[QString::fromStdString(key.second).toStdWString()];
    };
    for (const auto& [key, newTable] : newCatalog) {
        const auto oldTable = oldCatalog.find(key);
        compareTable(db, oldTable == oldCatalog.end() ? nullptr : &oldTable->second, &newTable,
            tableChanges(key));
    }
    for (const auto& [key, oldTable] : oldCatalog)
        if (!newCatalog.count(key))
            compareTable(db, &oldTable, nullptr, tableChanges(key));
    for (auto table = changes.begin(); table != changes.end();)
        table = table->second.empty() ? changes.erase(table) : std::next(table);
    return changes;
}
} // namespace PlatformSvcComm
