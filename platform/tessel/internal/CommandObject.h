#pragma once

#include "TesselObject.h"

#include <tessel/TesselInterfaces.h>

class CommandObject final : public TesselObject<ITesselCommand>
{
public:
    explicit CommandObject(int changeCount)
        : m_changeCount(changeCount)
    {
    }

    static CommandObject* from(ITesselCommand* command)
    {
        return static_cast<CommandObject*>(command);
    }

    int changeCount() const { return m_changeCount; }

private:
    int m_changeCount;
};
