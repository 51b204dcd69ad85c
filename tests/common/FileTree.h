#pragma once

// Small file trees for tests that create, copy or delete folders.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

namespace FileTree {

// Creates a file (and its folders) below root; a name ending in "/" makes a folder.
inline bool make(const QString& root, const QString& relative)
{
    const QString path = root + "/" + relative;
    if (relative.endsWith('/'))
        return QDir().mkpath(path);
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly)
        && file.write("content") == 7;
}

inline bool makeAll(const QString& root, const QStringList& entries)
{
    for (const QString& entry : entries) {
        if (!make(root, entry))
            return false;
    }
    return true;
}

} // namespace FileTree
