#pragma once

#include "TesselObject.h"

#include <tessel/TesselInterfaces.h>

#include <QString>

class EngineObject final : public TesselObject<ITesselEngine>
{
public:
    explicit EngineObject(const QString& name)
        : m_name(name)
    {
    }

    static EngineObject* from(ITesselEngine* engine) { return static_cast<EngineObject*>(engine); }

    const QString& name() const { return m_name; }

private:
    QString m_name;
};
