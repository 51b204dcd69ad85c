#pragma once

#include <krvcommon/KNoRefInterfaceObject.h>
#include <tessel/tessel_export.h>

// The platform's graphics engine, to which a model may be bound. The
// application builds its VellEngine over a null pointer: its models stand
// alone.
struct TESSEL_EXPORT IVellEngine : IKUnknown
{
protected:
    ~IVellEngine() = default;
};
