#pragma once

#include "UniqueFd.h"

#include <QString>

#ifdef _WIN32
#include <string>
#endif

// The one walk that empties folder trees, for FileHandler's clearing and for
// the stand-ins' deleteTree: TreeWalk.cpp on POSIX, TreeWalkWin.cpp on
// Windows.
//
// The walk is made from open folders: every entry is reached by its name
// relative to the descriptor (on Windows the handle) of the folder that listed
// it, and a folder is entered only when it opens without following a link, so
// swapping a folder of the tree for a link, or moving it, cannot lead the walk
// out of the tree. An entry listed as a folder that has become something else
// by the time it is opened is removed as what it now is, a link as a link.
//
// Rules for every walk:
// - any depth: on POSIX a few folder descriptors are held open, those nearest
//   the entry being removed; the walk climbs back to a folder it closed
//   through "..", and stops, leaving the rest, when that is not the folder it
//   left. Windows has no ".." to climb through a handle, nor a low limit on
//   handles: there the walk holds every folder between the start and the
//   entry being removed;
// - one mount: on POSIX a folder on another device or another mount than the
//   one emptied (a drive mounted, or a folder of the same disk bound, into the
//   tree) is not entered and stays. On
//   Windows a drive mounted into the tree is a reparse point, which, like a
//   junction or a symbolic link, is removed as a link and never entered;
// - a file-system root, whatever names it, is never emptied; on Windows the
//   root of a drive or of a network share;
// - a folder is listed again once its entries are dealt with, and removed
//   when that listing comes back empty; when it brings back only entries that
//   would not go, the folder is given up, so the walk ends whatever refuses to
//   go.
namespace fs {

/** Which entries a walk lists, and so removes. */
enum class Listed {
    /** Files, folders and links the real user may both read and write,
     *  hidden ones included (broken links, pipes, sockets and devices are
     *  never listed); they go from the last name to the first. On Windows
     *  the read-only attribute stands for the permissions: entries without
     *  it, and links whose target is there and is without it. */
    ReadableAndWritable,
    /** Every entry, whatever its kind or permissions; on Windows read-only
     *  entries go too. */
    Everything,
};

/** How a walk ended. */
enum class Walked {
    Emptied, /**< the folder's last listing came back empty */
    Remains, /**< entries the walk listed remain */
    Refused, /**< the folder is a file-system root and was not touched */
};

/**
 * @brief Empties the open folder, at any depth, by the rules above; the
 *        folder itself stays.
 * @param folder descriptor of the folder, open for reading (on Windows a
 *        handle from openFolder()); taken over.
 * @param listed which entries are listed and removed.
 * @return how the walk ended; Remains also when the folder cannot be listed.
 * @throws nothing (std::bad_alloc aside).
 * The caller's thread, which does all the work: the walk starts no thread.
 * Two walks of one tree at a time are not coordinated.
 */
Walked emptyTree(UniqueFd folder, Listed listed);

// The walk begun from a path, for FileHandler. The path is taken as the
// system resolves it, once: on POSIX ".." through a link included, on Windows
// ".." by the letter; a link given as the path names the folder to empty.
// Both list only what the real user may read and write.

/** Empties the folder at the path and keeps it; nothing when no folder is
 *  there. */
void emptyFolderAt(const QString& path);

/** Empties the folder at the path and removes it. True when no folder is left
 *  there (also when there was none, or its parent cannot be searched), false
 *  when the folder remains; a path ending in "." or ".." is emptied and never
 *  removed, nor is a link given as the path. */
bool removeFolderAt(const QString& path);

#ifdef _WIN32
// What the callers of the walk need on Windows to begin with a path. An entry
// is named by `name` relative to the open `folder`, or, with no folder, by the
// NT path ntPath() makes; a link names itself, unless it is to be followed.
// Failures leave their reason to GetLastError().

enum class Link { Itself, Followed };

/** The NT path ("\??\C:\...", "\??\UNC\server\share\...") of a path as
 *  Windows takes it: relative to the current folder of its drive, "." and
 *  ".." by the letter, and trailing separators dropped but for a drive's
 *  own. Longer than MAX_PATH too; empty when Windows takes no path from it. */
std::wstring ntPath(const QString& path);

/** Whether an NT path, or a path as "\\?\C:\...", names the root of a drive
 *  or of a network share, by the letter: a drive letter standing for a
 *  folder included. */
bool namesRoot(const std::wstring& path);

/** Opens the folder for a walk; invalid when the entry is no folder (or,
 *  not followed, a link) or cannot be listed. */
UniqueFd openFolder(HANDLE folder, const std::wstring& name, Link link);

/** The entry's attributes; INVALID_FILE_ATTRIBUTES when it cannot be reached. */
DWORD attributesAt(HANDLE folder, const std::wstring& name, Link link);

/** Removes the entry, a link as a link; with `folderOnly`, only a folder (not
 *  a link to one), as rmdir would. Read-only entries go only when `listed`
 *  is Everything. */
bool removeAt(HANDLE folder, const std::wstring& name, Listed listed, bool folderOnly);

/** Whether a failure to reach an entry says that nothing is there. */
bool isGone(DWORD error);
#endif

} // namespace fs
