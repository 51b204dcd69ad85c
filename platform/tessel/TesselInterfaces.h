#pragma once

#include <krvcommon/KNoRefInterfaceObject.h>
#include <tessel/tessel_export.h>

// The library objects behind the handles. Each is reference counted through
// IKUnknown (AddRef / Release) and is reached only through its handle class
// (TesselEngine, TesselModel, TesselDatabase, TesselTable, TesselRecord,
// TesselExtPropDefs, TesselExtPropDef, TesselCommand); the pointers appear in
// the interface so that a handle can be built over an object that a callback
// or another library hands over. A handle built over a pointer takes a
// reference of its own.

struct TESSEL_EXPORT ITesselEngine : IKUnknown
{
protected:
    ~ITesselEngine() = default;
};

struct TESSEL_EXPORT ITesselModel : IKUnknown
{
protected:
    ~ITesselModel() = default;
};

struct TESSEL_EXPORT ITesselDatabase : IKUnknown
{
protected:
    ~ITesselDatabase() = default;
};

struct TESSEL_EXPORT ITesselTable : IKUnknown
{
protected:
    ~ITesselTable() = default;
};

// One record of a table, as handed to an identifier handler.
struct TESSEL_EXPORT ITesselRecord : IKUnknown
{
protected:
    ~ITesselRecord() = default;
};

struct TESSEL_EXPORT ITesselExtPropDefs : IKUnknown
{
protected:
    ~ITesselExtPropDefs() = default;
};

struct TESSEL_EXPORT ITesselExtPropDef : IKUnknown
{
protected:
    ~ITesselExtPropDef() = default;
};

struct TESSEL_EXPORT ITesselCommand : IKUnknown
{
protected:
    ~ITesselCommand() = default;
};
