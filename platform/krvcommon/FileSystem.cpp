#include "FileSystem.h"

#include <QFileInfo>

bool directoryExists(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

bool fileExists(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}
