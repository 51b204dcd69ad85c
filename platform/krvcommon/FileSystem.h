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
 *        depth, walking from folder descriptors or handles (the walk
 *        FileHandler clears with).
 *
 * Links are removed as links and never followed, so nothing outside the tree
 * is touched, even when a folder is swapped for a link meanwhile; a link
 * given as the path itself is removed and its target left alone. On POSIX a
 * folder that is a mount point (a drive mounted, or a folder of the same
 * disk bound, into the tree) is not entered and stays; on Windows such a drive is a reparse point, removed as a
 * link as junctions are, and read-only entries go too. ".." in the path is
 * taken as the system takes it: on Windows by the letter. Paths longer than
 * MAX_PATH are taken.
 * @param path the directory; a trailing separator is accepted.
 * @return true when nothing is left at the path (also when nothing was
 *         there); false when the path is empty, names a file or a file-system
 *         root (on Windows a drive's or a network share's), or something
 *         below it could not be removed.
 * @throws nothing. Any thread; nothing is locked.
 */
KRVCOMMON_EXPORT bool deleteTree(const QString& path);
