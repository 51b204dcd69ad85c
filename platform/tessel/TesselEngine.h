#pragma once

#include <tessel/TesselInterfaces.h>
#include <tessel/TesselModel.h>
#include <tessel/TesselRef.h>
#include <tessel/VellEngine.h>
#include <tessel/tessel_export.h>

#include <QString>

// The engine that creates models. Engines are named; the empty name is the
// default engine. Operations on a null handle raise KRVException.
class TESSEL_EXPORT TesselEngine
{
public:
    TesselEngine() = default;
    explicit TesselEngine(ITesselEngine* engine);

    bool isNull() const noexcept { return !m_engine; }
    explicit operator bool() const noexcept { return !isNull(); }
    ITesselEngine* get() const noexcept { return m_engine.get(); }

    QString name() const;
    // A new, empty model (no database, no definitions, mode tmDesign).
    // standalone = true: the model stands on its own and vell may be null
    // (the only way the application uses it). standalone = false binds the
    // model to the graphics engine, which must then not be null (a null one
    // raises KRVException); the binding is kept for the model's lifetime.
    TesselModel createModel(bool standalone, const VellEngine& vell);

private:
    TesselRef<ITesselEngine> m_engine;
};

// The engine of that name: one per name in the process, created on first
// request; "" is the default engine.
TESSEL_EXPORT TesselEngine tesselEngine(const QString& name);
