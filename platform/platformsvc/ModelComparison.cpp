#include "ModelComparison.h"
#include <QDir>
#include <QFileInfo>
#include <bimcore/platform/ksqlite/KSqlStatement.h>
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

QString recordTable(const char* schema, int position)
{
    return QStringLiteral("%1.tessel_records_%2").arg(QLatin1String(schema)).arg(position);
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
RecordChangeMap compareTable(
    const KSqlDatabase& db, const TableEntry* oldTable, const TableEntry* newTable)
{
    const QString none = QStringLiteral("(SELECT NULL AS id, NULL AS position LIMIT 0)");
    const QString newRecords = newTable ? recordTable("main", newTable->position) : none;
    const QString oldRecords = oldTable ? recordTable("prior", oldTable->position) : none;
    QString same = oldTable && newTable && oldTable->signature == newTable->signature ? "1" : "0";
    for (int field = 0; same != "0" && field < newTable->fieldCount; ++field)
        same += QStringLiteral(" AND o.f%1 IS n.f%1").arg(field);
    // Most records keep their place: those with the same identifier at the same
    // position pair through the files' keys; only the others need an index.
    const QString sql = QStringLiteral(
        "SELECT n.id, o.id FROM %1 AS n JOIN %2 AS o ON (o.position, o.id) = (n.position, n.id) "
        "WHERE NOT (%3) UNION ALL SELECT n.id, o.id FROM %1 AS n LEFT JOIN %2 AS o ON o.id = n.id "
        "WHERE NOT EXISTS (SELECT 1 FROM %2 AS p WHERE (p.position, p.id) = (n.position, n.id)) "
        "AND (o.id IS NULL OR NOT (%3)) UNION ALL SELECT NULL, o.id FROM %2 AS o WHERE NOT EXISTS "
        "(SELECT 1 FROM %1 AS p WHERE (p.position, p.id) = (o.position, o.id)) "
        "AND o.id NOT IN (SELECT id FROM %1)");
    KSqlStatement pairs(db, sql.arg(newRecords, oldRecords, same).toStdString());
    RecordChangeMap out;
    while (pairs.step()) {
        if (pairs.isNull(0))
            out[quint64(pairs.getInt64(1))] = RecordRemoved;
        else
            out[quint64(pairs.getInt64(0))] = pairs.isNull(1) ? RecordAdded : RecordChanged;
    }
    return out;
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
        oldCatalog = readCatalog(db, "prior");
    } catch (const std::exception&) {
        return {};
    }

    TableChangeMap changes;
    const auto compare
        = [&](const auto& key, const TableEntry* oldTable, const TableEntry* newTable) {
              if (RecordChangeMap records = compareTable(db, oldTable, newTable); !records.empty())
                  changes[QString::fromStdString(key.second).toStdWString()] = std::move(records);
          };
    for (const auto& [key, newTable] : newCatalog) {
        const auto oldTable = oldCatalog.find(key);
        compare(key, oldTable == oldCatalog.end() ? nullptr : &oldTable->second, &newTable);
    }
    for (const auto& [key, oldTable] : oldCatalog)
        if (!newCatalog.count(key))
            compare(key, &oldTable, nullptr);
    return changes;
}
} // namespace PlatformSvcComm
