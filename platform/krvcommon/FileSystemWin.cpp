#ifdef _WIN32

// Not built nor run where the tests run. Removal by path with QDir: a folder swapped
// for a link while it runs, and a drive mounted into the tree, are not guarded against.

#include "FileSystem.h"
#include <QDir>
#include <QFile>

bool deleteTree(const QString& path)
{
    if (path.isEmpty())
        return false;
    // "link/" would name the folder behind the link rather than the link.
    QString entry = QDir::fromNativeSeparators(path);
    while (entry.size() > 1 && entry.endsWith(QLatin1Char('/')))
        entry.chop(1);
    const QFileInfo info(entry);
    // isSymLink first: isDir() is also true for a link to a directory, and
    // removing through such a link would empty a folder outside the tree.
    if (info.isSymLink())
        return QFile::remove(entry);
    if (!info.exists())
        return true;
    if (!info.isDir())
        return false;
    // Paths such as "/tmp/.." or "//" name the root too; a link inside the
    // tree cannot lead there, as removeRecursively removes links as entries
    // and never descends into them.
    if (QDir(info.canonicalFilePath()).isRoot())
        return false;
    return QDir(entry).removeRecursively();
}

#endif
