#pragma once

#include "ChangeLog.h"
#include "DatabaseObject.h"
#include "ExtPropDefListObject.h"
#include "TesselObject.h"

#include <tessel/TesselEnums.h>
#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>
#include <tessel/VellEngine.h>

#include <QHash>
#include <QString>

#include <vector>

class ModelObject final : public TesselObject<ITesselModel>
{
public:
    // A null log gives the model a log of its own.
    ModelObject(const VellEngine& vell, ChangeLogPtr log);

    static ModelObject* from(ITesselModel* model) { return static_cast<ModelObject*>(model); }

    const ChangeLogPtr& log() const { return m_log; }
    TesselMode mode() const { return m_mode; }
    void setMode(TesselMode mode);
    ExtPropDefListObject* extPropDefs() const { return m_extPropDefs.get(); }

    int databaseCount() const { return static_cast<int>(m_databases.size()); }
    DatabaseObject* database(int index) const;
    DatabaseObject* findDatabase(const QString& name) const;
    DatabaseObject* addDatabase(const QString& name);

    // Takes over the mode, definitions and databases of a model built by the
    // file reader over this model's change log; counts as one change.
    void takeContentOf(ModelObject& loaded);

private:
    ChangeLogPtr m_log;
    VellEngine m_vell;
    TesselMode m_mode = tmDesign;
    TesselRef<ExtPropDefListObject> m_extPropDefs;
    std::vector<TesselRef<DatabaseObject>> m_databases;
    QHash<QString, int> m_databaseIndex;
};
