#pragma once

#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>

// Handle of the platform's graphics engine; may be null.
class VellEngine : public TesselHandle<IVellEngine>
{
public:
    using TesselHandle::TesselHandle;
};
