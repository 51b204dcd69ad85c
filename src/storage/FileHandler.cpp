#include "FileHandler.h"

#include <bimcore/core/Logging.h>
#include <bimcore/storage/fs/TreeWalk.h>

#include <QDir>
#include <QFileInfo>

namespace bimcore {

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

// Names what a clearing left in the folder, for a developer who turned the
// storage category on; costs nothing otherwise.
void logLeftovers(const char* operation, const QString& path, bool evenWhenEmpty)
{
    if (!lcStorage().isDebugEnabled())
        return;
    const QStringList left = QDir(path).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    if (left.isEmpty() && !evenWhenEmpty)
        return;
    qCDebug(lcStorage).noquote()
        << operation << path << "remains with" << left.size()
        << "entries the user may not remove (read-only, in use, another mount) or a name the"
           " folder cannot be removed by (a file-system root, \".\", \"..\", a link); first:"
        << left.mid(0, 5).join(QLatin1String(", "));
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
    qCDebug(lcStorage) << "dirCreate could not make" << path;
}

bool FileHandler::clearDir(QString path)
{
    if (fs::removeFolderAt(path))
        return true;
    logLeftovers("clearDir", path, true);
    return false;
}

bool FileHandler::clearFiles(QString path)
{
    fs::emptyFolderAt(path);
    logLeftovers("clearFiles", path, false);
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

} // namespace bimcore
