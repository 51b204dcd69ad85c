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
// are held until their counterpart turns up. Nothing is loaded whole.
// Throws CentralStoreError when either file is no readable model file.
PLATFORMSVC_EXPORT TableChangeMap compareModelFiles(
    const QString& oldModel, const QString& newModel);

// Reads the file's header and catalog; throws CentralStoreError when it is no
// readable model file.
PLATFORMSVC_EXPORT void checkModelFile(const QString& model);

} // namespace PlatformSvcComm
