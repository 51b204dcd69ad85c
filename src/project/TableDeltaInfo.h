#pragma once

#include <bimcore/core/bimcore_export.h>

#include <string>
#include <unordered_map>

// The tables that the last project update changed: table name, exactly as the
// central service sent it, to the identifiers of its changed records, each
// with the value the service attached to it. The library copies the values
// unchanged and never reads them; they are the same 64-bit numbers that the
// platform hub's change map carries, so its entries copy over as they are.
struct BIMCORE_EXPORT TableDeltaInfo
{
    std::unordered_map<std::wstring, std::unordered_map<unsigned long long, unsigned long long>>
        tables;
};
