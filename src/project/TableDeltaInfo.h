#pragma once

/** @file
 * @brief TableDeltaInfo: the change record of the last update. */

#include <bimcore/core/bimcore_export.h>

#include <string>
#include <unordered_map>

namespace bimcore {

/**
 * @brief The tables that the last project update changed.
 *
 * Held by the project (Project::getChangedDelta()). The library copies the
 * values unchanged and never reads them; they are the same 64-bit numbers that
 * the platform hub's change map carries. Thread: the main thread.
 */
struct BIMCORE_EXPORT TableDeltaInfo
{
    /** @brief Table name, exactly as the central service sent it, to the
     *  identifiers of its changed records, each with the service's mark
     *  (1 added, 2 changed, 3 removed). */
    std::unordered_map<std::wstring, std::unordered_map<unsigned long long, unsigned long long>>
        tables;
};

} // namespace bimcore

#ifndef BIMCORE_NO_GLOBAL_NAMES
using bimcore::TableDeltaInfo;
#endif
