#include "WorkspaceCommand.h"

#include "Console.h"
#include "HostCommandLine.h"
#include "HostError.h"

#include <bimcore/storage/FileHandler.h>

#include <QDir>
#include <QFileInfo>

namespace {

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

void requireFolder(const QString& path)
{
    if (!QFileInfo(path).isDir())
        throw HostError(QStringLiteral("no folder \"%1\"").arg(shown(path)));
}

int entriesLeft(const QString& path)
{
    return QDir(path)
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
        .size();
}

void list(const QString& path)
{
    requireFolder(path);
    const QStringList folders = FileHandler::getFolderList(path);
    const QStringList files = FileHandler::getFileList(path);
    Console::line(QStringLiteral("%1: %2 folder(s), %3 file(s)")
                      .arg(shown(path))
                      .arg(folders.size())
                      .arg(files.size()));
    for (QString folder : folders)
        Console::line(QStringLiteral("  %1/").arg(FileHandler::getFileName(folder)));
    for (QString file : files)
        Console::line(QStringLiteral("  %1  %2 bytes")
                          .arg(FileHandler::getFileName(file))
                          .arg(QFileInfo(file).size()));
}

} // namespace

void runWorkspace(const HostCommandLine& commandLine)
{
    const QString& operation = commandLine.arguments().at(0);
    const QString path
        = QDir::cleanPath(QFileInfo(commandLine.arguments().at(1)).absoluteFilePath());
    if (operation == QLatin1String("create")) {
        FileHandler::dirCreate(path);
        if (!QFileInfo(path).isDir())
            throw HostError(QStringLiteral("cannot create the folder \"%1\"").arg(shown(path)));
        Console::line(QStringLiteral("Created %1").arg(shown(path)));
    } else if (operation == QLatin1String("list")) {
        list(path);
    } else if (QDir(path).isRoot()) {
        // The library never empties a root; say so rather than list what it left.
        throw HostError(QStringLiteral("refusing to empty a file-system root (%1)").arg(shown(path)));
    } else if (operation == QLatin1String("clear")) {
        requireFolder(path);
        FileHandler::clearFiles(path);
        if (const int left = entriesLeft(path))
            throw HostError(QStringLiteral("%1 entr%2 in \"%3\" could not be deleted "
                                           "(read-only, or not ours to delete)")
                                .arg(left)
                                .arg(left == 1 ? QStringLiteral("y") : QStringLiteral("ies"))
                                .arg(shown(path)));
        Console::line(QStringLiteral("Emptied %1").arg(shown(path)));
    } else {
        const bool existed = QFileInfo(path).isDir();
        if (!FileHandler::clearDir(path))
            throw HostError(QStringLiteral("cannot remove \"%1\": %2 entries are left inside "
                                           "(read-only, or not ours to delete)")
                                .arg(shown(path))
                                .arg(entriesLeft(path)));
        Console::line(existed ? QStringLiteral("Removed %1").arg(shown(path))
                              : QStringLiteral("No folder %1; nothing to remove").arg(shown(path)));
    }
}
