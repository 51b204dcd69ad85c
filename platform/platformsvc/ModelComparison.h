#pragma once

#include <platformsvc/TableChangeMap.h>
#include <platformsvc/platformsvc_export.h>

#include <QString>

namespace PlatformSvcComm {

// The records that differ between two model files: per table, the identifiers
// only in the new model (RecordAdded), in both with different field values
// (RecordChanged) and only in the old model (RecordRemoved). A table only in
// one model lists all its records; when a table's fields differ, every record
// in both is changed. Tables are matched by database and table name and keyed
// by table name. Both files' record tables are streamed side by side, in the
// order they are stored, comparing the stored values; records met out of step
// are held until their counterpart turns up. Nothing is loaded whole: the
// record tables are read straight from the mapped files (SQLite only reads
// the catalogs, and the records where the direct scan meets a layout it does
// not know).
// Throws CentralStoreError when either file is no readable model file.
PLATFORMSVC_EXPORT TableChangeMap compareModelFiles(
    const QString& oldModel, const QString& newModel);

// How often a table could not be scanned directly and SQLite read it instead
// (a file layout the direct scan does not know); for tests and benchmarks.
PLATFORMSVC_EXPORT long directScanFallbacks();

// Reads the file's header and catalog; throws CentralStoreError when it is no
// readable model file.
PLATFORMSVC_EXPORT void checkModelFile(const QString& model);

} // namespace PlatformSvcComm
