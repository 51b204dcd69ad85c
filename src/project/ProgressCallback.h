#pragma once

/** @file
 * @brief ProgressCallback: the progress receiver of a project update. */

namespace bimcore {

/**
 * @brief Receives progress while a project update waits for the central
 * service: a NUL-terminated text, valid only during the call, and a value
 * (a percentage), both exactly as the platform hub sent them. A null callback
 * drops the progress. Called on the thread that waits (the main thread).
 */
using ProgressCallback = void (*)(const wchar_t*, double);

} // namespace bimcore

#ifndef BIMCORE_NO_GLOBAL_NAMES
using bimcore::ProgressCallback;
#endif
