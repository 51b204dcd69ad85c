#pragma once

#include <tessel/IVellEngine.h>
#include <tessel/TesselRef.h>
#include <tessel/tessel_export.h>

// Handle of the platform's graphics engine; may be null.
class TESSEL_EXPORT VellEngine
{
public:
    VellEngine() = default;
    // A null pointer gives a null engine.
    explicit VellEngine(IVellEngine* engine);

    bool isNull() const noexcept { return !m_engine; }
    explicit operator bool() const noexcept { return !isNull(); }
    IVellEngine* get() const noexcept { return m_engine.get(); }

private:
    TesselRef<IVellEngine> m_engine;
};
