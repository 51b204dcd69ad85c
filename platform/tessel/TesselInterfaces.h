#pragma once

#include <bimcore/platform/krvcommon/KNoRefInterfaceObject.h>

/// The library objects behind the handles. Each is reference counted through
/// IKUnknown (AddRef / Release) and reached only through its handle class; the
/// pointers appear in the interface so that a handle can be built over an
/// object that a callback or another library hands over. A handle built over a
/// pointer takes a reference of its own.
template <class Tag> struct TesselInterface : IKUnknown
{
protected:
    ~TesselInterface() = default;
};

using ITesselModel = TesselInterface<struct TesselModelTag>;
using ITesselDatabase = TesselInterface<struct TesselDatabaseTag>;
using ITesselTable = TesselInterface<struct TesselTableTag>;
/// One record of a table, as handed to an identifier handler.
using ITesselRecord = TesselInterface<struct TesselRecordTag>;
using ITesselExtPropDefs = TesselInterface<struct TesselExtPropDefsTag>;
/// The platform's graphics engine, to which a model may be bound. The
/// application builds its VellEngine over a null pointer: its models stand
/// alone.
using IVellEngine = TesselInterface<struct VellEngineTag>;
