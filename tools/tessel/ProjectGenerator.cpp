#include "ProjectGenerator.h"

#include <bimcore/platform/krvcommon/KRVException.h>
#include <bimcore/platform/ksqlite/KSqlStatement.h>
#include <bimcore/storage/fs/FileIo.h>
#include <bimcore/platform/tessel/Tessel.h>

#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Identifiers above 2^53, so that anything passing them through a double
// shows.
constexpr quint64 firstIdentifier = 0x0123456700000001ULL;

const char* const specialtyNames[] = { "建筑", "结构", "给排水", "暖通", "电气", "Architecture",
    "Structure", "Plumbing", "HVAC", "Electrical", "Fire protection", "Landscape" };

const char* const tableNames[] = { "wall", "slab", "column", "beam", "door", "window", "stair",
    "roof", "ceiling", "railing", "pipe", "duct", "cable_tray", "equipment", "room", "level",
    "grid", "foundation", "ramp", "curtain_panel" };

struct Generator
{
    ProjectGenerator::Options options;
    std::mt19937_64 random { 20240601 };
    quint64 nextId = firstIdentifier;
    std::vector<quint64> specialtyIds;
    std::vector<int> elementTypeIds;

    TesselDataType identifierType() const { return options.converted ? tdtInt64 : tdtString; }

    TesselFieldSchema addIdentifier(TesselTable& table, const QString& name)
    {
        TesselFieldSchema field = table.tableSchema().fieldSchemas().add(name, identifierType());
        TesselExtPropDef marker = field.extPropDefs().add();
        marker.setCode(QStringLiteral("DataType"));
        marker.setValue(QStringLiteral("Int64"));
        return field;
    }

    void setIdentifier(TesselRecord& record, int field, quint64 id)
    {
        if (options.converted)
            record.setUInt64(field, id);
        else
            record.setString(field, QString::number(id));
    }

    TesselTable addTable(TesselDatabase& db, const QString& name)
    {
        TesselTable table = db.addTable(name);
        addIdentifier(table, QStringLiteral("id"));
        table.tableSchema().setPrimaryKeyFieldIndex(0);
        return table;
    }

    TesselRecord append(TesselTable& table)
    {
        const quint64 id = nextId++;
        TesselRecord record = table.appendRecord(id);
        setIdentifier(record, 0, id);
        return record;
    }

    void project(TesselDatabase& db)
    {
        TesselTable table = addTable(db, QStringLiteral("project"));
        TesselFieldSchemas fields = table.tableSchema().fieldSchemas();
        addIdentifier(table, QStringLiteral("workspace_id"));
        fields.add(QStringLiteral("name"), tdtString);
        fields.add(QStringLiteral("version"), tdtInt32);
        TesselRecord record = append(table);
        setIdentifier(record, 1, firstIdentifier + 0x10000000ULL);
        record.setString(2, QStringLiteral("示例项目 Sample project"));
        record.setInteger(3, 1);
    }

    void elementTypes(TesselDatabase& db, qint64 count)
    {
        TesselTable table = addTable(db, QStringLiteral("element_type"));
        TesselFieldSchemas fields = table.tableSchema().fieldSchemas();
        fields.add(QStringLiteral("element_type_id"), tdtInt32);
        fields.add(QStringLiteral("node_type"), tdtInt32);
        fields.add(QStringLiteral("name"), tdtString);
        table.reserveRecords(int(count));
        for (qint64 i = 0; i < count; ++i) {
            TesselRecord record = append(table);
            const int typeId = 1000 + int(i);
            record.setInteger(1, typeId);
            record.setInteger(2, 1 + int(i % 3));
            record.setString(3, QStringLiteral("ElementType-%1").arg(typeId));
            elementTypeIds.push_back(typeId);
        }
    }

    void specialties(TesselDatabase& db, qint64 count)
    {
        TesselTable table = addTable(db, QStringLiteral("specialty"));
        table.tableSchema().fieldSchemas().add(QStringLiteral("name"), tdtString);
        const auto names = std::size(specialtyNames);
        for (qint64 i = 0; i < count; ++i) {
            TesselRecord record = append(table);
            QString name = QString::fromUtf8(specialtyNames[size_t(i) % names]);
            if (size_t(i) >= names)
                name += QStringLiteral(" %1").arg(i / qint64(names) + 1);
            record.setString(1, name);
            specialtyIds.push_back(record.id64());
        }
    }

    QString tableName(int index) const
    {
        const auto known = int(std::size(tableNames));
        return index < known ? QString::fromLatin1(tableNames[index])
                             : QStringLiteral("table_%1").arg(index + 1, 3, 10, QLatin1Char('0'));
    }

    void elements(TesselDatabase& db, int index, qint64 count)
    {
        TesselTable table = addTable(db, tableName(index));
        TesselFieldSchemas fields = table.tableSchema().fieldSchemas();
        fields.add(QStringLiteral("element_type_id"), tdtInt32);
        addIdentifier(table, QStringLiteral("specialty_id"));
        fields.add(QStringLiteral("level"), tdtInt32);
        fields.add(QStringLiteral("length"), tdtDouble);
        fields.add(QStringLiteral("area"), tdtDouble);
        fields.add(QStringLiteral("name"), tdtString);
        std::uniform_real_distribution<double> size(0.1, 50.0);
        table.reserveRecords(int(count));
        const QString prefix = table.name();
        for (qint64 i = 0; i < count; ++i) {
            TesselRecord record = append(table);
            record.setInteger(
                1, elementTypeIds.empty() ? 0 : elementTypeIds[random() % elementTypeIds.size()]);
            setIdentifier(
                record, 2, specialtyIds.empty() ? 0 : specialtyIds[random() % specialtyIds.size()]);
            record.setInteger(3, int(random() % 40) - 3);
            record.setDouble(4, std::round(size(random) * 1000) / 1000);
            record.setDouble(5, size(random) * size(random));
            record.setString(6, QStringLiteral("%1-%2").arg(prefix).arg(i + 1));
        }
    }
};

// Copies every record of a model table into the SQLite table of the same
// name, whose columns are the fields in order, all values as text or numbers
// like the model's.
void copyTable(KSQLite::KSqlDatabase& database, const TesselTable& table)
{
    const TesselFieldSchemas fields = table.tableSchema().fieldSchemas();
    // Identifiers are integers in the database whatever the model keeps.
    std::vector<TesselDataType> types;
    for (int f = 0; f < fields.count(); ++f) {
        const TesselFieldSchema field = fields.items(f);
        const TesselExtPropDef marker = field.extPropDefs().find(QStringLiteral("DataType"));
        types.push_back(
            marker && marker.value() == QLatin1String("Int64") ? tdtInt64 : field.dataType());
    }
    const std::string name = KSQLite::quoteIdentifier(table.name().toStdString());
    std::string create = "CREATE TABLE " + name + "(";
    std::string insert = "INSERT INTO " + name + " VALUES(";
    for (int f = 0; f < fields.count(); ++f) {
        const char* type = types[size_t(f)] == tdtDouble ? " REAL"
            : types[size_t(f)] == tdtString              ? " TEXT"
                                                         : " INTEGER";
        create += (f ? ", " : "") + KSQLite::quoteIdentifier(fields.items(f).name().toStdString())
            + type;
        insert += f ? ", ?" : "?";
    }
    database.exec(create + ")");
    KSQLite::KSqlStatement statement(database, insert + ")");
    for (int r = 0; r < table.recordCount(); ++r) {
        const TesselRecord record = table[r];
        for (int f = 0; f < fields.count(); ++f) {
            switch (types[size_t(f)]) {
            case tdtDouble:
                statement.bindDouble(f + 1, record.asDouble(f));
                break;
            case tdtString:
                statement.bindText(f + 1, record.asString(f).toStdString());
                break;
            default:
                statement.bindInt64(f + 1, record.asInt64(f));
                break;
            }
        }
        statement.execute();
    }
}

void checkOptions(const ProjectGenerator::Options& options)
{
    if (options.records < 1 || options.records > std::numeric_limits<int>::max())
        throw KRVException(QStringLiteral("the record count must be from 1 to %1")
                               .arg(std::numeric_limits<int>::max()));
    if (options.tables < 3)
        throw KRVException(
            QStringLiteral("a project has at least 3 tables (project, element_type, specialty)"));
}

} // namespace

TesselModel ProjectGenerator::buildModel(const Options& options)
{
    checkOptions(options);
    Generator generator;
    generator.options = options;
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
    TesselDatabase db = model.addDatabase(QStringLiteral("DB"));

    qint64 left = options.records - 1;
    const qint64 specialtyCount = std::min<qint64>(24, left);
    left -= specialtyCount;
    const qint64 elementTypeCount = std::min<qint64>(240, left);
    left -= elementTypeCount;
    const int others = options.tables - 3;

    generator.project(db);
    generator.elementTypes(db, elementTypeCount + (others == 0 ? left : 0));
    generator.specialties(db, specialtyCount);
    for (int i = 0; i < others; ++i)
        generator.elements(db, i, left / others + (i < left % others ? 1 : 0));

    if (options.converted) {
        TesselExtPropDef marker = model.extPropDefs().add();
        marker.setCode(QStringLiteral("IgnoreProcessInt64"));
        marker.setValue(QStringLiteral("True"));
    }
    model.setMode(options.converted ? tmRuntime : tmDesign);
    return model;
}

void ProjectGenerator::writeProject(const QString& folder, const Options& options)
{
    // Refused options must not leave an empty folder behind.
    checkOptions(options);
    if (!QDir().mkpath(folder))
        throw KRVException(QStringLiteral("Cannot create the folder \"%1\"").arg(folder));
    const TesselModel model = buildModel(options);
    const QDir dir(folder);
    TesselModelPersistent(model).saveToFile(dir.filePath(modelFileName()));

    const QString databasePath = dir.filePath(databaseFileName());
    const QString temporaryPath = databasePath + QStringLiteral(".tmp");
    QFile::remove(temporaryPath);
    try {
        KSQLite::KSqlDatabase database(
            temporaryPath.toStdString(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        KSQLite::KSqlTransaction transaction(database);
        for (const char* name : { "project", "element_type", "specialty" })
            copyTable(database, model.findTable(QStringLiteral("DB"), QString::fromLatin1(name)));
        transaction.commit();
    } catch (const KSQLite::KSqlException& e) {
        QFile::remove(temporaryPath);
        throw KRVException(QStringLiteral("Cannot write \"%1\": %2")
                               .arg(temporaryPath, QString::fromUtf8(e.what())));
    }
    if (!fs::replaceEntry(temporaryPath, databasePath)) {
        QFile::remove(temporaryPath);
        throw KRVException(QStringLiteral("Cannot write \"%1\"").arg(databasePath));
    }
}
