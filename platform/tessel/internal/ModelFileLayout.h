#pragma once

#include <QByteArray>

// Names and numbers of the model file layout (see FORMAT.md beside the
// library's sources).
namespace ModelFileLayout {
// PRAGMA application_id: "TSLM".
constexpr int applicationId = 0x54534C4D;
// PRAGMA user_version and tessel_model.version.
constexpr int version = 1;
constexpr char formatName[] = "Tessel";

// The record table of the table at catalog position index.
inline QByteArray recordTableName(int index)
{
    return QByteArray("tessel_records_") + QByteArray::number(index);
}

// The column of the field at position index in a record table.
inline QByteArray fieldColumnName(int index)
{
    return QByteArray("f") + QByteArray::number(index);
}
} // namespace ModelFileLayout
