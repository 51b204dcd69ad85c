#pragma once

#include <QString>

// Empties folder trees from the leaves upward for FileHandler.
//
// A path is taken as the system resolves it, once, for the folder given: on
// POSIX ".." through a link included, on Windows ".." by the letter. From
// there the walk goes from open folder descriptors or handles (fs::emptyTree,
// shared with the stand-ins' deleteTree), so swapping a folder of the tree for
// a link, or moving it, cannot lead it out of the tree.
//
// The rules the walk keeps:
// - only entries both readable and writable for the real user are listed, so
//   read-only entries and the folders above them stay behind (on Windows,
//   entries with the read-only attribute);
// - hidden entries are listed; broken links, sockets, pipes and devices are
//   not, and stay;
// - a link, to a file or to a folder, is removed as a link; on Windows every
//   reparse point is: symbolic links, junctions and mounted drives;
// - a folder is listed again once its entries are dealt with, and removed
//   when that listing comes back empty; when it brings back only entries that
//   would not go, the folder is given up, so the walk ends whatever refuses to
//   go;
// - any depth, with a bounded number of folders held open on POSIX; on
//   Windows, which sets no such bound, one for each level the walk is below
//   the folder given;
// - one mount: on POSIX a folder that is a mount point of any kind (another
//   drive, or a folder bound from the same disk) is not entered and stays,
//   with the folders above it; on Windows it is a reparse point;
// - a file-system root, whatever path names it, is never emptied: on Windows
//   the root of a drive (a drive letter standing for a folder included) or of
//   a network share.
//
// TreeClearerPosix.cpp and TreeClearerWin.cpp open the folder given, each as
// its system resolves paths, and leave the rest to the one walk.
namespace TreeClearer {

// Empties the folder at the path and keeps it; a link given as the path names
// the folder to empty. Does nothing when no folder is there.
void emptyFolder(const QString& path);

// Empties the folder at the path and removes it. True when no folder is left
// there (also when there was none, or its parent cannot be searched), false
// when the folder remains; a path ending in "." or ".." is emptied and never
// removed.
bool removeFolder(const QString& path);

} // namespace TreeClearer
