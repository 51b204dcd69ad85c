#include "FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool directoryExists(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

bool fileExists(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

bool deleteTree(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    // isSymLink first: isDir() is also true for a link to a directory, and
    // removing through such a link would empty a folder outside the tree.
    if (info.isSymLink())
        return QFile::remove(path);
    if (!info.exists())
        return true;
    if (!info.isDir())
        return false;
    // removeRecursively removes links as entries and never descends into them.
    return QDir(path).removeRecursively();
}
