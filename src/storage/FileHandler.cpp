#include "FileHandler.h"

#include "TreeClearer.h"

#include <QDir>
#include <QFileInfo>

namespace {

// A folder that cannot be made now will not appear by trying forever.
constexpr int kCreateAttempts = 3;

QStringList absolutePaths(const QString& dirPath, QDir::Filters filters)
{
    QStringList paths;
    if (dirPath.isEmpty())
        return paths;
    const QFileInfoList entries
        = QDir(dirPath).entryInfoList(filters, QDir::Name | QDir::IgnoreCase);
    paths.reserve(entries.size());
    for (const QFileInfo& entry : entries)
        paths.append(entry.absoluteFilePath());
    return paths;
}

} // namespace

FileHandler::FileHandler() = default;
FileHandler::FileHandler(const FileHandler&) = default;
FileHandler::~FileHandler() = default;
FileHandler& FileHandler::operator=(const FileHandler&) = default;

void FileHandler::dirCreate(QString path)
{
    if (path.isEmpty())
        return;
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        QDir().mkpath(path);
        if (QDir(path).exists())
            return;
    }
}

bool FileHandler::clearDir(QString path)
{
    return TreeClearer::removeFolder(path);
}

bool FileHandler::clearFiles(QString path)
{
    TreeClearer::emptyFolder(path);
    return true;
}

bool FileHandler::fileExist(QString dirPath, QString fileName)
{
    if (dirPath.isEmpty())
        return false;
    return QDir(dirPath).entryList(QDir::Files).contains(fileName, Qt::CaseSensitive);
}

QString FileHandler::getFileName(QString& path)
{
    return QFileInfo(path).fileName();
}

QStringList FileHandler::getFileList(QString dirPath)
{
    return absolutePaths(dirPath, QDir::Files);
}

QStringList FileHandler::getFilePathList(QString dirPath)
{
    return absolutePaths(dirPath, QDir::Files);
}

QStringList FileHandler::getFolderList(QString dirPath)
{
    return absolutePaths(dirPath, QDir::Dirs | QDir::NoDotAndDotDot);
}

void FileHandler::getAllFilePathList(QString, QStringList&) { }

void FileHandler::getAllFilePathList(QString, QString, QStringList&) { }
