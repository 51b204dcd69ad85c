#pragma once

/** @file
 * @brief FileHandler: workspace folder operations. */

#include <bimcore/core/bimcore_export.h>

#include <QString>
#include <QStringList>

namespace bimcore {

/**
 * @brief Static operations on workspace folders: make a tree, empty or remove
 * a folder, test for a file by name and list what lies directly inside a
 * folder.
 *
 * Failures show only in the results; nothing here throws or logs. Paths are
 * meant to be absolute; a relative path is taken from the current directory,
 * as QDir does. An empty path names no folder at all.
 *
 * Thread: any; the operations share no state. Two calls working on the same
 * folder at once see each other's changes.
 */
class BIMCORE_EXPORT FileHandler
{
public:
    /** @brief An object with nothing in it; every operation is static. */
    FileHandler();
    /** @brief Copies nothing. @param other ignored */
    FileHandler(const FileHandler& other);
    /** @brief Releases nothing. */
    ~FileHandler();
    /** @brief Copies nothing. @param other ignored @return this object */
    FileHandler& operator=(const FileHandler& other);

    /**
     * @brief Makes the folder and every missing parent; gives up after a few attempts.
     * @param path the folder to make.
     * A failure shows only by testing for the folder afterwards.
     */
    static void dirCreate(QString path);

    /**
     * @brief Empties the folder with clearFiles() and removes it.
     *
     * The path is taken as the system resolves it: on POSIX ".." after a
     * link leads to the link target's parent; Windows takes ".." by the
     * letter.
     * @param path the folder.
     * @return true when no folder is there (at once, or afterwards; also when
     *         the folder above cannot be searched, as for QDir); false when
     *         the folder itself remains, when the path ends in "." or "..",
     *         and at once for a file-system root, whatever path names it.
     */
    static bool clearDir(QString path);

    /**
     * @brief Deletes every readable and writable entry below the folder,
     * bottom up, at any depth, and keeps the folder itself.
     *
     * Read-only entries (on Windows, those with the read-only attribute) and
     * the folders above them stay. Links below the folder are removed as
     * links and never followed, so nothing outside the folder is deleted,
     * even when a folder is swapped for a link while it is being emptied; a
     * link given as the path itself names the folder to empty. On POSIX a
     * folder that is a mount point (a drive mounted into it, or a folder of
     * the same disk bound there) is not entered and stays, with the folders above it; on
     * Windows such a drive is a reparse point, removed as a link as junctions
     * are. A file-system root, whatever path names it, is left untouched: on
     * Windows a drive's or a network share's. Paths longer than MAX_PATH are
     * taken.
     * @param path the folder to empty.
     * @return true, always: test for what is left to learn of a failure.
     */
    static bool clearFiles(QString path);

    /**
     * @brief Tests for a plain, non-hidden file directly inside a folder.
     * @param dirPath the folder. @param fileName the name, case significant.
     * @return true when such a file of exactly this name is there.
     */
    static bool fileExist(QString dirPath, QString fileName);

    /** @brief The last component of a path.
     *  @param path the path (not changed). @return empty when it ends in a separator. */
    static QString getFileName(QString& path);

    /** @brief The non-hidden files directly inside the folder.
     *  @param dirPath the folder.
     *  @return their absolute paths, by name ignoring case; empty when there is no folder. */
    static QStringList getFileList(QString dirPath);
    /** @brief The same list as getFileList(). @param dirPath the folder @return as getFileList() */
    static QStringList getFilePathList(QString dirPath);

    /** @brief The non-hidden sub-folders directly inside the folder.
     *  @param dirPath the folder.
     *  @return their absolute paths, by name ignoring case; empty when there is no folder. */
    static QStringList getFolderList(QString dirPath);

    /** @brief Kept for hosts built against it; leaves the list as it is.
     *  @emptyfn
     *  @param dirPath ignored @param list left unchanged */
    static void getAllFilePathList(QString dirPath, QStringList& list);
    /** @brief Kept for hosts built against it; leaves the list as it is.
     *  @emptyfn
     *  @param dirPath ignored @param nameFilter ignored @param list left unchanged */
    static void getAllFilePathList(QString dirPath, QString nameFilter, QStringList& list);
};

} // namespace bimcore

#ifndef BIMCORE_NO_GLOBAL_NAMES
using bimcore::FileHandler;
#endif
