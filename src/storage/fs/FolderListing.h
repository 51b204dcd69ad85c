#pragma once

#include "TreeWalk.h"

#include <string>
#include <unordered_set>
#include <vector>

#include <dirent.h>

namespace fs {

struct Entry
{
    std::string name;
    bool isFolder;
};

/** What one listing of a folder gives. */
struct FolderListing
{
    std::vector<Entry> entries; // to remove, the next at the back
    bool any = false; // whether anything was listed, entries failed before included
};

// Reads the open folder's entries as the walk lists them: everything, or
// the files, folders and links the real user may read and write, which go
// from the last name to the first. Names in `failed` are counted but left
// out.
FolderListing listFolder(DIR* dir, Listed listed, const std::unordered_set<std::string>& failed);

// Whether the real user may read and write the entry; a link is followed, as
// QFileInfo's permission test does, which also leaves out broken ones.
bool mayTouch(int folder, const char* name);

} // namespace fs
