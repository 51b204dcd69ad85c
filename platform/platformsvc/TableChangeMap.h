#pragma once

#include <string>
#include <unordered_map>

namespace PlatformSvcComm {
/// What happened to one record; plain 64-bit numbers in the change map.
enum RecordChange : unsigned long long
{
    RecordAdded = 1, ///< only in the new model
    RecordChanged = 2, ///< in both, with different field values
    RecordRemoved = 3, ///< only in the old model
};

/// record identifier -> RecordChange
using RecordChangeMap = std::unordered_map<unsigned long long, unsigned long long>;
/// table name -> its changed records; tables without changes are absent
using TableChangeMap = std::unordered_map<std::wstring, RecordChangeMap>;
} // namespace PlatformSvcComm
