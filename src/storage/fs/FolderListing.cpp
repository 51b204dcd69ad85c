#ifndef _WIN32

#include "FolderListing.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs {
namespace {

bool isAscii(const std::string& text)
{
    return std::all_of(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// QDir::Name order: the names as QString, compared by UTF-16 code unit. For
// ASCII names that is plain byte order, which spares decoding every name.
void sortByName(std::vector<Entry>& entries)
{
    const bool ascii = std::all_of(
        entries.begin(), entries.end(), [](const Entry& entry) { return isAscii(entry.name); });
    if (ascii) {
        std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.name < b.name; });
        return;
    }
    std::vector<std::pair<QString, Entry>> keyed;
    keyed.reserve(entries.size());
    for (Entry& entry : entries)
        keyed.emplace_back(QFile::decodeName(entry.name.c_str()), std::move(entry));
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        return QString::compare(a.first, b.first, Qt::CaseSensitive) < 0;
    });
    for (std::size_t i = 0; i < entries.size(); ++i)
        entries[i] = std::move(keyed[i].second);
}

unsigned char typeOf(int folder, const dirent& found)
{
    if (found.d_type != DT_UNKNOWN)
        return found.d_type;
    struct stat status;
    if (fstatat(folder, found.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return DT_UNKNOWN;
    return S_ISDIR(status.st_mode) ? DT_DIR
        : S_ISREG(status.st_mode)  ? DT_REG
        : S_ISLNK(status.st_mode)  ? DT_LNK
                                   : DT_UNKNOWN;
}

} // namespace

bool mayTouch(int folder, const char* name)
{
    return faccessat(folder, name, R_OK | W_OK, 0) == 0;
}

FolderListing listFolder(DIR* dir, Listed listed, const std::unordered_set<std::string>& failed)
{
    const int folder = dirfd(dir);
    FolderListing listing;
    while (const dirent* found = readdir(dir)) {
        const char* name = found->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        const unsigned char type = typeOf(folder, *found);
        if (listed == Listed::ReadableAndWritable
            && ((type != DT_DIR && type != DT_REG && type != DT_LNK) || !mayTouch(folder, name)))
            continue;
        listing.any = true;
        if (failed.empty() || failed.count(name) == 0)
            listing.entries.push_back(Entry { name, type == DT_DIR });
    }
    if (listed == Listed::ReadableAndWritable) {
        // Entries go from the last name to the first, as they always have: a
        // link to a file elsewhere in the tree is broken once that file is
        // gone and is then left as any broken link is, so the order decides
        // which such links stay.
        sortByName(listing.entries);
    }
    return listing;
}

} // namespace fs

#endif
