#pragma once

#include "UniqueFd.h"

#include <QString>

#include <string>

// Plain-file operations on open descriptors (POSIX) or handles (Windows),
// each with the platform's own calls, for the stand-ins and the library.
// Every call reports failure through its result; lastError() then says why
// in the system's words.
namespace fs {

/** Why the last call of this thread failed, as the system words it. */
QString lastError();
/** True when the last failure was "no such file or folder". */
bool lastErrorIsMissing();

/**
 * Opens a plain file for reading: never blocks on a pipe put at the path and
 * refuses anything but a plain file (lastError() then says so). Other
 * processes may go on reading, writing, renaming and deleting it.
 */
UniqueFd openForReading(const QString& path);
/** Creates a new file for writing; fails when anything is at the path. */
UniqueFd createNew(const QString& path);
/** The size in bytes, or -1. */
qint64 sizeOf(const UniqueFd& file);
/** Reads up to `size` bytes from `offset` on, leaving the file position; -1 on error. */
qint64 readAt(const UniqueFd& file, char* data, qint64 size, qint64 offset);
/** Appends all of `size` bytes at the current position, or fails. */
bool writeAll(const UniqueFd& file, const char* data, qint64 size);
/** Writes what the file holds through to the disk. */
bool flushToDisk(const UniqueFd& file);
/** Writes the file at the path through to the disk. */
bool flushFile(const QString& path);
/**
 * Makes the entries of the folder (new names, renames, removals) durable. On
 * Windows a rename is made durable by replaceEntry itself, and there is
 * nothing to flush.
 */
bool flushFolder(const QString& folder);
/**
 * Moves the entry `from` over `to` in one step, through to the disk where the
 * system offers it: `to` is either the old entry or the new, never missing
 * and never half-written. An entry at `to` that another process holds open
 * without leave to delete it makes this fail on Windows, and stays whole.
 */
bool replaceEntry(const QString& from, const QString& to);

#ifdef _WIN32
/**
 * The "\\?\" form of a path, made absolute: no length limit, and no
 * component reinterpreted (trailing dots and spaces, device names).
 */
std::wstring longPath(const QString& path);
#endif

} // namespace fs
