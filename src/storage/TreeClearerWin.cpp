#include <QtGlobal>

#ifdef Q_OS_WIN

// Not built nor run on the machines the tests run on.
//
// No descriptor-relative calls to build on here; the tree is walked by path,
// and Windows itself takes ".." by the letter. A drive mounted into the tree
// is a junction, removed as a link and never entered.

#include "TreeClearer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

QString cleanAbsolute(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool isRoot(const QString& folder)
{
    return QDir(folder).isRoot() || QDir(QFileInfo(folder).canonicalFilePath()).isRoot();
}

bool isLink(const QFileInfo& entry)
{
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    if (entry.isJunction())
        return true;
#endif
    return entry.isSymLink();
}

// True when the folder's last listing came back empty.
bool emptyByPath(const QString& folder)
{
    const QDir::Filters listedEntries = QDir::Dirs | QDir::Files | QDir::Hidden
        | QDir::NoDotAndDotDot | QDir::Readable | QDir::Writable;
    QSet<QString> failed;
    for (;;) {
        const QFileInfoList listed = QDir(folder).entryInfoList(listedEntries);
        if (listed.isEmpty())
            return true;
        bool tried = false;
        for (const QFileInfo& entry : listed) {
            if (failed.contains(entry.fileName()))
                continue;
            tried = true;
            const QString path = entry.filePath();
            bool removed = false;
            if (isLink(entry))
                removed = QFile::remove(path) || QDir().rmdir(path);
            else if (entry.isDir())
                removed = emptyByPath(path) && QDir().rmdir(path);
            else
                removed = QFile::remove(path);
            if (!removed)
                failed.insert(entry.fileName());
        }
        if (!tried)
            return false; // only entries that would not go
    }
}

} // namespace

void TreeClearer::emptyFolder(const QString& path)
{
    const QString folder = cleanAbsolute(path);
    if (!path.isEmpty() && QFileInfo(folder).isDir() && !isRoot(folder))
        emptyByPath(folder);
}

bool TreeClearer::removeFolder(const QString& path)
{
    const QString folder = cleanAbsolute(path);
    if (path.isEmpty() || !QFileInfo(folder).isDir())
        return true;
    if (isRoot(folder))
        return false;
    emptyByPath(folder);
    return QDir().rmdir(folder);
}

#endif
