#pragma once

#include <bimcore/platform/krvcommon/krvcommon_export.h>

#include <QString>

// True exactly when a directory (or a link to one) exists at the path.
// A trailing separator is accepted.
KRVCOMMON_EXPORT bool directoryExists(const QString& path);

// True exactly when a regular file (or a link to one) exists at the path.
KRVCOMMON_EXPORT bool fileExists(const QString& path);

// Removes the directory at the path with everything below it. Links are
// removed as links and never followed, so nothing outside the tree is touched;
// a link given as the path itself is removed and its target left alone.
// True when nothing is left at the path (also when nothing was there), false
// when the path names a file or a file-system root, or something below it
// could not be removed.
KRVCOMMON_EXPORT bool deleteTree(const QString& path);
