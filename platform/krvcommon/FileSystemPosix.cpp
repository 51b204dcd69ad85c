#ifndef _WIN32

#include "FileSystem.h"
#include <bimcore/storage/fs/PathEnd.h>
#include <bimcore/storage/fs/TreeWalk.h>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool deleteTree(const QString& path)
{
    if (path.isEmpty())
        return false;
    // Trailing separators are dropped: "link/" names the link, not the folder
    // behind it.
    const fs::PathEnd end = fs::PathEnd::open(QFile::encodeName(QDir::fromNativeSeparators(path)));
    if (end.name.isEmpty())
        return false; // the root
    if (!end.parent)
        return errno == ENOENT || errno == ENOTDIR;
    const int parent = end.parent.get();
    const char* name = end.name.constData();
    struct stat status;
    if (fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (S_ISLNK(status.st_mode))
        return unlinkat(parent, name, 0) == 0;
    if (!S_ISDIR(status.st_mode))
        return false;
    UniqueFd folder(openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder && fs::emptyTree(std::move(folder), fs::Listed::Everything) == fs::Walked::Refused)
        return false;
    return unlinkat(parent, name, AT_REMOVEDIR) == 0;
}

#endif
