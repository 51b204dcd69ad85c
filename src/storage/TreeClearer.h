#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

// Empties a folder tree from the leaves upward with one work list, keeping the
// folder itself. Used by FileHandler::clearFiles.
//
// The work list starts with the folder's entries. Each pass runs from the last
// entry to the first: a file is removed when met; a folder is listed again and
// removed in the pass in which its listing comes back empty, otherwise the
// entries of its listing that are new are appended and visited in the next
// pass. Only entries that are both readable and writable are listed, so
// read-only entries and the folders above them stay behind.
//
// Beyond that plain procedure:
// - a link, to a file or to a folder, is an entry of its own and is removed
//   as a link; nothing is ever listed through it;
// - a folder whose listing brings back only entries that could not be removed
//   is given up, so the procedure ends whatever refuses to go;
// - every folder counts its entries still in the work list, and is listed
//   again only once that count is zero (before that its listing could bring
//   nothing new), and entries that failed are remembered per folder in a hash
//   set, so the work stays linear in the number of entries.
class TreeClearer
{
public:
    // root: the folder's path in the file system's encoding.
    explicit TreeClearer(std::string root);

    void run();

private:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    struct Folder
    {
        Folder(std::uint32_t parentFolder, std::string folderPath)
            : parent(parentFolder)
            , path(std::move(folderPath))
        {
        }

        std::uint32_t parent;
        std::string path;
        std::uint32_t pending = 0; // entries of this folder in the work list
        std::unordered_set<std::string> failed; // entries that would not go
    };

    struct Entry
    {
        Entry(std::uint32_t parentFolder, std::uint32_t ownFolder, std::string entryName)
            : parent(parentFolder)
            , folder(ownFolder)
            , name(std::move(entryName))
        {
        }

        std::uint32_t parent; // folder holding the entry
        std::uint32_t folder; // the entry's own folder record, kNone for files and links
        std::string name;
        bool dropped = false;
    };

    struct Listed
    {
        std::string name;
        bool isFolder;
    };

    void visitFile(std::size_t index);
    void visitFolder(std::size_t index);
    void appendListing(std::uint32_t folder, std::vector<Listed>& listed);
    void drop(std::size_t index, bool removed);
    void compact();
    const std::string& pathOf(const Entry& entry);

    std::vector<Folder> m_folders;
    std::vector<Entry> m_work;
    std::string m_pathBuffer;
};
