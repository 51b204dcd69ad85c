#pragma once

/** @file
 * @brief The version of the library loaded at run time: bimcore::version(). */

#include <bimcore/core/bimcore_export.h>

/** @brief The library's functions that belong to no class. */
namespace bimcore {

/**
 * @brief The version of the library the process loaded, as BIMCORE_VERSION
 * of the headers it was built with: 0xMMNNPP (BIMCORE_VERSION_CHECK()).
 *
 * A host compares it with the BIMCORE_VERSION it was compiled against, to
 * learn that it runs with a library other than the one it was built for:
 * @code
 * if (bimcore::version() != BIMCORE_VERSION) // or < for "at least"
 *     qWarning() << "built for" << BIMCORE_VERSION_STRING << "running with"
 *                << bimcore::versionString();
 * @endcode
 * @return the version number, e.g. 0x000100 for 0.1.0.
 * @throws nothing. Thread: any.
 */
BIMCORE_EXPORT int version() noexcept;

/**
 * @brief The same version as text, "major.minor.patch"
 * (BIMCORE_VERSION_STRING of the library's build).
 * @return a text that lives as long as the library is loaded, never null.
 * @throws nothing. Thread: any.
 */
BIMCORE_EXPORT const char* versionString() noexcept;

} // namespace bimcore
