#include <QtGlobal>

#ifdef Q_OS_WIN

#include "TreeClearer.h"

#include <bimcore/storage/fs/TreeWalk.h>

#include <QDir>

// The folder given is opened following a link: a link given as the path
// names the folder to empty.

void TreeClearer::emptyFolder(const QString& path)
{
    if (path.isEmpty())
        return;
    const std::wstring folderPath = fs::ntPath(path);
    if (fs::namesRoot(folderPath))
        return;
    UniqueFd folder = fs::openFolder(nullptr, folderPath, fs::Link::Followed);
    if (folder)
        fs::emptyTree(std::move(folder), fs::Listed::ReadableAndWritable);
}

bool TreeClearer::removeFolder(const QString& path)
{
    if (path.isEmpty())
        return true;
    const std::wstring folderPath = fs::ntPath(path);
    if (fs::namesRoot(folderPath))
        return false; // the root, which is always there
    UniqueFd folder = fs::openFolder(nullptr, folderPath, fs::Link::Followed);
    if (!folder) {
        // What QDir sees: nothing also when the folder cannot be reached.
        const DWORD attributes = fs::attributesAt(nullptr, folderPath, fs::Link::Followed);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return true;
    } else if (fs::emptyTree(std::move(folder), fs::Listed::ReadableAndWritable)
        == fs::Walked::Refused) {
        return false;
    }
    // QDir's rmdir refuses a path ending in "." or "..", which Windows would
    // drop and so remove the folder the path leads to.
    const QString last = QDir::fromNativeSeparators(path).section(
        QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
    if (last == QLatin1String(".") || last == QLatin1String(".."))
        return false;
    // A folder that could not be opened may still go when it is empty. When
    // the path is a link, this fails and the link stays, as documented.
    return fs::removeAt(nullptr, folderPath, fs::Listed::ReadableAndWritable, true)
        || fs::isGone(GetLastError());
}

#endif
