#pragma once

#include "UniqueFd.h"

// The one walk that empties folder trees, for FileHandler's clearing and for
// the stand-ins' deleteTree. POSIX only.
//
// The walk is made from open folder descriptors: every entry is reached by
// its name relative to the descriptor of the folder that listed it, and a
// folder is entered only when it opens without following a link, so swapping
// a folder of the tree for a link, or moving it, cannot lead the walk out of
// the tree. An entry listed as a folder that has become something else by the
// time it is opened is removed as what it now is, a link as a link.
//
// Rules for every walk:
// - any depth: a few folder descriptors are held open, those nearest the
//   entry being removed; the walk climbs back to a folder it closed through
//   "..", and stops, leaving the rest, when that is not the folder it left;
// - one file system: a folder on another device than the one emptied (a
//   drive mounted or bound into the tree) is not entered and stays;
// - a file-system root, whatever names it, is never emptied;
// - a folder is listed again once its entries are dealt with, and removed
//   when that listing comes back empty; when it brings back only entries that
//   would not go, the folder is given up, so the walk ends whatever refuses to
//   go.
namespace fs {

/** Which entries a walk lists, and so removes. */
enum class Listed {
    /** Files, folders and links the real user may both read and write,
     *  hidden ones included (broken links, pipes, sockets and devices are
     *  never listed); they go from the last name to the first. */
    ReadableAndWritable,
    /** Every entry, whatever its kind or permissions. */
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
 * @param folder descriptor of the folder, open for reading; taken over.
 * @param listed which entries are listed and removed.
 * @return how the walk ended; Remains also when the folder cannot be listed.
 * @throws nothing (std::bad_alloc aside).
 * Any thread; two walks of one tree at a time are not coordinated. A walk
 * that lists readable and writable entries may start a thread of its own,
 * which lists the next folder while the walk removes the entries of the one
 * before, and ends with the walk.
 */
Walked emptyTree(UniqueFd folder, Listed listed);

} // namespace fs
