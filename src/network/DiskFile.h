#pragma once

#include <QFile>
#include <QString>

#include <memory>

namespace network_detail {

// Writes what the file holds through to the disk.
bool flushToDisk(QFile& file);

// Replaces the folder entry of `to` itself: a link there goes, and a folder
// there refuses.
bool replaceEntry(const QString& from, const QString& to);

// Opens an existing file for reading and writing, but only a plain file with
// no other name, and never through a link at path: a folder that others can
// write to may hold anything under a name it is expected to.
std::unique_ptr<QFile> openPlainFile(const QString& path);

} // namespace network_detail
