#pragma once

#include <bimcore/platform/tessel/TesselModel.h>
#include <bimcore/platform/tessel/VellEngine.h>

/// The engine that creates models. A default-built engine is null and creates
/// none.
class TESSEL_EXPORT TesselEngine
{
public:
    bool isNull() const noexcept { return !m_valid; }
    explicit operator bool() const noexcept { return m_valid; }

    /// A new, empty model (no database, no definitions, mode tmDesign). Models
    /// of this library stand alone: the graphics engine is not used.
    TesselModel createModel(bool standalone, const VellEngine& vell);

private:
    friend TESSEL_EXPORT TesselEngine tesselEngine(const QString& name);
    bool m_valid = false;
};

/// The engine of that name; "" is the default engine.
TESSEL_EXPORT TesselEngine tesselEngine(const QString& name);
