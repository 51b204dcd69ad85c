#include "Folder.h"

#include "FileIo.h"

// What both systems share of an open folder; FolderPosix.cpp and
// FolderWin.cpp hold the rest.
namespace fs {

std::optional<QByteArray> Folder::readFile(const QString& name, qint64 largest) const
{
    const UniqueFd file = openFile(name, false);
    const qint64 size = file ? sizeOf(file) : -1;
    if (size < 0 || size > largest)
        return std::nullopt;
    QByteArray content(int(size), Qt::Uninitialized);
    if (readAt(file, content.data(), size, 0) != size)
        return std::nullopt;
    return content;
}

} // namespace fs
