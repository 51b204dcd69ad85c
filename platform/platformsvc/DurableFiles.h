#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// File-system steps whose results survive a crash: every write is flushed to
// the disk before the name that makes it visible is put in place. Failures
// throw CentralStoreError naming the path and the system's reason.
namespace PlatformSvcComm::DurableFiles {

// Flushes a folder's entries (created, renamed or removed names).
void syncFolder(const QString& folder);

// Copies a regular file into a new file (which must not exist) and flushes it.
// onProgress receives the bytes copied so far after each chunk; it may throw
// to abandon the copy.
void copyFile(const QString& from, const QString& to,
    const std::function<void(qint64 copied, qint64 total)>& onProgress);

// Fills the empty folder `to` with the entries of `from` except those named in
// `skip` (top level only): sub-folders are recreated, everything else is hard
// linked (copied where the file system refuses links). The new folders are
// flushed.
void mirrorFolder(const QString& from, const QString& to, const QStringList& skip);

// Swaps two existing paths in one step. False when the file system cannot.
bool exchange(const QString& a, const QString& b);

void rename(const QString& from, const QString& to);

// Removes a tree if it is there; links are removed, never followed.
void removeTree(const QString& path);

bool exists(const QString& path);

} // namespace PlatformSvcComm::DurableFiles
