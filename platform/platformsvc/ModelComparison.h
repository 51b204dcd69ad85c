#pragma once

#include <platformsvc/TableChangeMap.h>
#include <platformsvc/platformsvc_export.h>

#include <QString>

namespace PlatformSvcComm {

// The records that differ between two model files: per table, the identifiers
// only in the new model (RecordAdded), in both with different field values
// (RecordChanged) and only in the old model (RecordRemoved). A table only in
// one model lists all its records. Both files are streamed in identifier
// order and never loaded whole. Throws CentralStoreError when a file cannot
// be read.
PLATFORMSVC_EXPORT TableChangeMap compareModelFiles(
    const QString& oldModel, const QString& newModel);

} // namespace PlatformSvcComm
