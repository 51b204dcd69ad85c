#pragma once

#include <bimcore/platform/krvcommon/krvcommon_export.h>
#include <QFileInfo>
#include <QString>

/// True exactly when a directory (or a link to one) exists at the path.
/// A trailing separator is accepted.
inline bool directoryExists(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

/// True exactly when a regular file (or a link to one) exists at the path.
inline bool fileExists(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

/**
 * @brief Removes the directory at the path with everything below it, at any
 *        depth, walking from folder descriptors (the walk FileHandler clears
 *        with).
 *
 * Links are removed as links and never followed, so nothing outside the tree
 * is touched; a link given as the path itself is removed and its target left
 * alone. A folder on another file system (a drive mounted into the tree) is
 * not entered and stays. ".." in the path is taken as the system takes it.
 * The Windows half (FileSystemWin.cpp) goes by path and keeps neither the
 * mount nor the swapped-folder rule.
 * @param path the directory; a trailing separator is accepted.
 * @return true when nothing is left at the path (also when nothing was
 *         there); false when the path is empty, names a file or a file-system
 *         root, or something below it could not be removed.
 * @throws nothing. Any thread; nothing is locked.
 */
KRVCOMMON_EXPORT bool deleteTree(const QString& path);
