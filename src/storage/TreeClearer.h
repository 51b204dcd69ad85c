#pragma once

#include <QString>

// Empties folder trees from the leaves upward for FileHandler.
//
// The walk is made from open folder descriptors: every entry is reached by
// its name relative to the descriptor of the folder that listed it, and a
// folder is entered only when it opens without following a link. A path is
// resolved once, for the folder given; afterwards, swapping a folder of the
// tree for a link, or moving it, cannot lead the walk out of the tree. An
// entry listed as a folder that has become a link by the time it is opened is
// removed as the link it now is.
//
// The rules the walk keeps:
// - only entries both readable and writable for the real user are listed, so
//   read-only entries and the folders above them stay behind;
// - hidden entries are listed; broken links, sockets, pipes and devices are
//   not, and stay;
// - a link, to a file or to a folder, is removed as a link;
// - a folder is listed again once its entries are dealt with, and removed
//   when that listing comes back empty; when it brings back only entries that
//   would not go, the folder is given up, so the walk ends whatever refuses to
//   go;
// - a file-system root, whatever path names it, is never emptied;
// - the walk goes down 256 levels at most, holding a descriptor for each;
//   what lies deeper stays, with the folders above it.
namespace TreeClearer {

// Empties the folder at the path and keeps it; a link given as the path names
// the folder to empty. Does nothing when no folder is there.
void emptyFolder(const QString& path);

// Empties the folder at the path and removes it. True when no folder is left
// there (also when there was none), false when the folder remains.
bool removeFolder(const QString& path);

} // namespace TreeClearer
