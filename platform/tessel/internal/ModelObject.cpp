#include "ModelObject.h"

#include "Errors.h"

ModelObject::ModelObject(const VellEngine& vell, ChangeLogPtr log)
    : m_log(log ? std::move(log) : std::make_shared<ChangeLog>())
    , m_vell(vell)
    , m_extPropDefs(new ExtPropDefListObject(m_log))
{
}

void ModelObject::setMode(TesselMode mode)
{
    m_mode = mode;
    m_log->note();
}

DatabaseObject* ModelObject::database(int index) const
{
    checkIndex(index, databaseCount(), "database");
    return m_databases[static_cast<size_t>(index)].get();
}

DatabaseObject* ModelObject::findDatabase(const QString& name) const
{
    const int index = m_databaseIndex.value(name, -1);
    return index < 0 ? nullptr : m_databases[static_cast<size_t>(index)].get();
}

DatabaseObject* ModelObject::addDatabase(const QString& name)
{
    if (name.isEmpty())
        raiseError(QStringLiteral("a database needs a name"));
    if (m_databaseIndex.contains(name))
        raiseError(QStringLiteral("the model already has a database \"%1\"").arg(name));
    m_databases.emplace_back(new DatabaseObject(m_log, name));
    m_databaseIndex.insert(name, databaseCount() - 1);
    m_log->note();
    return m_databases.back().get();
}

void ModelObject::takeContentOf(ModelObject& loaded)
{
    m_mode = loaded.m_mode;
    m_extPropDefs = std::move(loaded.m_extPropDefs);
    loaded.m_extPropDefs = TesselRef<ExtPropDefListObject>(new ExtPropDefListObject(loaded.m_log));
    m_databases.swap(loaded.m_databases);
    m_databaseIndex.swap(loaded.m_databaseIndex);
    m_log->note();
}
