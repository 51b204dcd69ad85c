#ifdef _WIN32

#include "FileSystem.h"
#include <bimcore/storage/fs/TreeWalk.h>

bool deleteTree(const QString& path)
{
    if (path.isEmpty())
        return false;
    // Trailing separators are dropped: "link\" names the link, not the folder
    // behind it.
    const std::wstring entry = fs::ntPath(path);
    if (fs::namesRoot(entry))
        return false;
    const DWORD attributes = fs::attributesAt(nullptr, entry, fs::Link::Itself);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return fs::isGone(GetLastError());
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return fs::removeAt(nullptr, entry, fs::Listed::Everything, false);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    UniqueFd folder = fs::openFolder(nullptr, entry, fs::Link::Itself);
    if (folder && fs::emptyTree(std::move(folder), fs::Listed::Everything) == fs::Walked::Refused)
        return false;
    return fs::removeAt(nullptr, entry, fs::Listed::Everything, true);
}

#endif
