#include "TesselModel.h"
#include "TesselEngine.h"
#include "TesselModelPersistent.h"
#include "internal/ModelFile.h"
#include "internal/TesselObjects.h"
#include <bimcore/platform/krvcommon/KRVException.h>
#include <new>

namespace {
// Runs work; its faults are raised again with the file's name before them.
template <class Work> void onFile(const char* action, const QString& path, Work work)
{
    const QString failed = QStringLiteral("Cannot %1 model file \"%2\": %3");
    try {
        work();
    } catch (const KRVException& e) {
        raiseError(failed.arg(QLatin1String(action), path, e.message()));
    } catch (const std::bad_alloc&) {
        raiseError(failed.arg(QLatin1String(action), path, QStringLiteral("not enough memory")));
    }
}
} // namespace

TesselEngine tesselEngine(const QString&)
{
    TesselEngine engine;
    engine.m_valid = true;
    return engine;
}

TesselModel TesselEngine::createModel(bool, const VellEngine&)
{
    if (!m_valid)
        raiseError(QStringLiteral("operation on a null engine handle"));
    return TesselModel(makeObject<ModelObject>().get());
}

TesselCommand TesselModel::fetchCommand()
{
    objectOf<ModelObject>(get());
    return {};
}

TesselMode TesselModel::mode() const
{
    return objectOf<ModelObject>(get()).mode;
}

void TesselModel::setMode(const TesselMode& mode)
{
    objectOf<ModelObject>(get()).mode = mode;
}

TesselExtPropDefs TesselModel::extPropDefs() const
{
    return TesselExtPropDefs(objectOf<ModelObject>(get()).extPropDefs.get());
}

int TesselModel::databaseCount() const
{
    return static_cast<int>(objectOf<ModelObject>(get()).databases.size());
}

TesselDatabase TesselModel::databases(int index) const
{
    const ModelObject& model = objectOf<ModelObject>(get());
    checkIndex(index, static_cast<int>(model.databases.size()), "database");
    return TesselDatabase(model.databases[static_cast<size_t>(index)].get());
}

TesselDatabase TesselModel::findDatabase(const QString& name) const
{
    return TesselDatabase(findNamed(objectOf<ModelObject>(get()).databases, name));
}

TesselDatabase TesselModel::addDatabase(const QString& name)
{
    return TesselDatabase(
        &addNamed(objectOf<ModelObject>(get()).databases, name, QStringLiteral("the model")));
}

TesselTable TesselModel::findTable(const QString& database, const QString& table) const
{
    const DatabaseObject* found = findNamed(objectOf<ModelObject>(get()).databases, database);
    if (ITesselTable* named = found ? findNamed(found->tables, table) : nullptr)
        return TesselTable(named);
    return TesselTable::missing(database, table);
}

QString TesselDatabase::name() const
{
    return objectOf<DatabaseObject>(get()).name;
}

TesselTable TesselDatabase::addTable(const QString& name, TesselTableKind kind)
{
    DatabaseObject& database = objectOf<DatabaseObject>(get());
    TableObject& table
        = addNamed(database.tables, name, QStringLiteral("database \"%1\"").arg(database.name));
    table.tableKind = kind;
    return TesselTable(&table);
}

int TesselTables::count() const
{
    return static_cast<int>(objectOf<DatabaseObject>(get()).tables.size());
}

TesselTable TesselTables::items(int index) const
{
    const DatabaseObject& database = objectOf<DatabaseObject>(get());
    checkIndex(index, static_cast<int>(database.tables.size()), "table of database \"%1\",",
        database.name);
    return TesselTable(database.tables[static_cast<size_t>(index)].get());
}

TesselModelPersistent::TesselModelPersistent(const TesselModel& model)
    : m_model(model)
{
}

bool TesselModelPersistent::loadFromFile(const QString& path, bool readOnly, bool loadRecords)
{
    ModelObject& target = objectOf<ModelObject>(m_model.get());
    // Everything is read into a model of its own; the target takes it over
    // only once the whole file has been read.
    const TesselRef<ModelObject> loaded = makeObject<ModelObject>();
    onFile("load", path, [&] { readModelFile(path, *loaded, loadRecords); });
    target.mode = readOnly ? tmReadOnly : loaded->mode;
    target.extPropDefs = loaded->extPropDefs;
    target.databases.swap(loaded->databases);
    return true;
}

void TesselModelPersistent::saveToFile(const QString& path) const
{
    const ModelObject& model = objectOf<ModelObject>(m_model.get());
    onFile("save", path, [&] { writeModelFile(path, model); });
}
