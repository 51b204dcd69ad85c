#pragma once

// Enumerations of the data-model library. Plain enumerations on purpose: the
// values are stored in model files and callers compare them with integers.

/// The phase a model is in, kept in the model file; no operation is refused
/// because of it.
enum TesselMode : int
{
    tmDesign = 0, ///< field data types and schemas are being changed
    tmReadOnly = 1, ///< the model was opened for reading only (loadFromFile with readOnly)
    tmRuntime = 2, ///< the model is ready: records are read and appended
};

/// The data type of a field. Whole numbers: tdtBoolean (0 or 1), tdtInt32,
/// tdtInt64 (identifiers, kept as their bit pattern), tdtDateTime (milliseconds
/// since 1970 UTC); doubles: tdtDouble; texts: tdtString, tdtGuid. Values 7 to
/// 14 are reserved; 0 is never the type of a field.
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

/// The kind of a table. Only ordinary tables get identifiers from an
/// identifier handler in the application layer; the library itself treats
/// every kind alike.
enum TesselTableKind : int
{
    ttkOrdinary = 0, ///< a table of records
    ttkLookup = 1, ///< a fixed dictionary shipped with the model
    ttkLink = 2, ///< a table relating records of other tables
    ttkSystem = 3, ///< bookkeeping of the platform
};
