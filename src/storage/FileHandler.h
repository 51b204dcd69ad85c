#pragma once

#include <bimcore/core/bimcore_export.h>

#include <QString>
#include <QStringList>

// Static operations on workspace folders: make a tree, empty or remove a
// folder, test for a file by name and list what lies directly inside a folder.
// Failures show only in the results; nothing here throws or logs.
//
// Paths are meant to be absolute; a relative path is taken from the current
// directory, as QDir does. An empty path names no folder at all (QDir would
// read it as the current directory, which nobody wants emptied by accident).
class BIMCORE_EXPORT FileHandler
{
public:
    FileHandler();
    FileHandler(const FileHandler& other);
    ~FileHandler();
    FileHandler& operator=(const FileHandler& other);

    // Makes the folder and every missing parent; gives up after a few
    // attempts. The caller learns of a failure only by testing for the folder.
    static void dirCreate(QString path);

    // True at once when no folder is there. Otherwise empties it with
    // clearFiles() and removes it; false when the folder itself remains, and
    // at once for a file-system root, whatever path names it.
    static bool clearDir(QString path);

    // Deletes every readable and writable entry below the folder, bottom up,
    // and keeps the folder itself. Read-only entries and the folders above
    // them stay. Links below the folder are removed as links and never
    // followed, so nothing outside the folder is deleted, even when a folder
    // is swapped for a link while it is being emptied; a link given as the
    // path itself names the folder to empty. Folders more than 256 levels
    // down stay, with the folders above them. A file-system root, whatever
    // path names it, is left untouched. Always true.
    static bool clearFiles(QString path);

    // True when a plain, non-hidden file of exactly this name (case
    // significant) lies directly inside the folder.
    static bool fileExist(QString dirPath, QString fileName);

    // The last component of the path; empty when it ends in a separator.
    static QString getFileName(QString& path);

    // Absolute paths of the non-hidden files directly inside the folder, by
    // name ignoring case. The two return the same list.
    static QStringList getFileList(QString dirPath);
    static QStringList getFilePathList(QString dirPath);

    // Absolute paths of the non-hidden sub-folders, by name ignoring case.
    static QStringList getFolderList(QString dirPath);

    // Kept for hosts built against them; they leave the list as it is.
    static void getAllFilePathList(QString dirPath, QStringList& list);
    static void getAllFilePathList(QString dirPath, QString nameFilter, QStringList& list);
};
