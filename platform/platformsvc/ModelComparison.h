#pragma once

#include <bimcore/platform/platformsvc/TableChangeMap.h>
#include <bimcore/platform/platformsvc/platformsvc_export.h>
#include <QString>

namespace PlatformSvcComm {
/**
 * @brief The records that differ between two model files.
 *
 * Per table: the identifiers only in the new model (RecordAdded), in both with
 * different field values (RecordChanged) and only in the old model
 * (RecordRemoved). A table only in one model lists all its records; when a
 * table's fields differ, every record in both is changed. Tables are matched
 * by database and table name and keyed by table name. Any thread; each call
 * opens its own connection.
 * @param oldModel the model file the project folder held; one that is missing
 *        or cannot be read leaves nothing to compare with, as on a first
 *        fetch, and the result is empty.
 * @param newModel the model file delivered.
 * @return the changed records of every table that has any.
 * @throws std::runtime_error naming the file when newModel cannot be read as
 *         a model file.
 */
PLATFORMSVC_EXPORT TableChangeMap compareModelFiles(
    const QString& oldModel, const QString& newModel);
} // namespace PlatformSvcComm
