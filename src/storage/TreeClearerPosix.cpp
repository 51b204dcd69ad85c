#include <QtGlobal>

#ifndef Q_OS_WIN

#include "TreeClearer.h"

#include <bimcore/storage/fs/PathEnd.h>
#include <bimcore/storage/fs/TreeWalk.h>

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The folder given is opened without O_NOFOLLOW: a link given as the path
// names the folder to empty.

void TreeClearer::emptyFolder(const QString& path)
{
    if (path.isEmpty())
        return;
    UniqueFd folder(open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder)
        fs::emptyTree(std::move(folder), fs::Listed::ReadableAndWritable);
}

bool TreeClearer::removeFolder(const QString& path)
{
    if (path.isEmpty())
        return true;
    const QByteArray folderPath = QFile::encodeName(path);
    const fs::PathEnd end = fs::PathEnd::open(folderPath);
    if (end.name.isEmpty())
        return false; // the root, which is always there
    if (!end.parent) {
        struct stat status;
        return stat(folderPath.constData(), &status) != 0 || !S_ISDIR(status.st_mode);
    }
    const int parent = end.parent.get();
    const char* name = end.name.constData();
    UniqueFd folder(openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) {
        // What QDir sees: nothing also when the parent cannot be searched.
        struct stat status;
        if (fstatat(parent, name, &status, 0) != 0 || !S_ISDIR(status.st_mode))
            return true;
    } else if (fs::emptyTree(std::move(folder), fs::Listed::ReadableAndWritable)
        == fs::Walked::Refused) {
        return false;
    }
    // QDir's rmdir refuses a path ending in "." or "..".
    if (end.name == "." || end.name == "..")
        return false;
    // A folder that could not be opened may still go when it is empty. When
    // the path is a link, this fails and the link stays, as documented.
    return unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
}

#endif
