#pragma once

// Models for tests of the data-model library and the tools built on it.

#include <tessel/Tessel.h>

#include <QString>

namespace TesselModels {

// An empty model of the default engine, as the host creates one.
inline TesselModel newModel()
{
    return tesselEngine(QString()).createModel(true, VellEngine());
}

// The model file at path, loaded into a new model.
inline TesselModel loaded(const QString& path, bool readOnly = false, bool withRecords = true)
{
    TesselModel model = newModel();
    TesselModelPersistent(model).loadFromFile(path, readOnly, withRecords);
    return model;
}

} // namespace TesselModels
