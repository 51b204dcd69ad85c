#pragma once

// Enumerations of the data-model library. Plain enumerations on purpose: the
// values are stored in model files and callers compare them with integers.

// The phase a model is in. The library records the mode and keeps it in the
// model file; it does not refuse operations because of it. The application
// layer uses it to tell a model whose schema is being changed from one that is
// ready for use.
enum TesselMode : int
{
    tmDesign = 0, // field data types and schemas are being changed
    tmReadOnly = 1, // the model was opened for reading only (loadFromFile with readOnly)
    tmRuntime = 2, // the model is ready: records are read and appended
};

// The data type of a field. Each type keeps its values in one storage class:
//   int32 storage:  tdtBoolean (0 or 1), tdtInt32
//   int64 storage:  tdtInt64 (64-bit identifiers, kept as their bit pattern, so
//                   asUInt64 gives back any unsigned value), tdtDateTime
//                   (milliseconds since 1970-01-01T00:00:00Z, UTC)
//   double storage: tdtDouble
//   text storage:   tdtString, tdtGuid (the text form "{xxxxxxxx-...}")
// Values 7 to 14 are reserved; 0 is never the type of a field.
enum TesselDataType : int
{
    tdtUnknown = 0,
    tdtBoolean = 1,
    tdtInt32 = 2,
    tdtDouble = 3,
    tdtString = 4,
    tdtDateTime = 5,
    tdtGuid = 6,
    tdtInt64 = 15,
};

// The kind of a table. Only ordinary tables get identifiers from an
// identifier handler in the application layer; the library itself treats
// every kind alike.
enum TesselTableKind : int
{
    ttkOrdinary = 0, // a table of records
    ttkLookup = 1, // a fixed dictionary shipped with the model
    ttkLink = 2, // a table relating records of other tables
    ttkSystem = 3, // bookkeeping of the platform
};
