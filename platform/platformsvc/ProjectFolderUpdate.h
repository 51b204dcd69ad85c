#pragma once

#include <QString>
#include <QStringList>
#include <bimcore/platform/platformsvc/platformsvc_export.h>
#include "LockedFolder.h"

namespace PlatformSvcComm {
/**
 * @brief Replaces the project's two files in its folder, both or neither, even
 * when the process is killed at any instant or the machine loses power.
 *
 * The new files are written into the folder under staged names and flushed;
 * then an empty journal is made, the staged files are renamed over the old
 * ones and the journal goes. The next update or open of the folder completes
 * an update whose journal is there and removes the staged files of one whose
 * journal is not. Every other entry of the folder, and the folder itself with
 * its owner, group and mode, stays as it is. An exclusive lock on the folder
 * keeps its updates and opens (in any process) apart. One thread at a time.
 */
class PLATFORMSVC_EXPORT ProjectFolderUpdate
{
public:
    /**
     * @brief Opens the project folder, creating it if it is missing, takes its
     * lock and completes or rolls back an interrupted update.
     * @param projectFolder the local project folder.
     * @throws std::runtime_error naming the path and the system's reason.
     */
    explicit ProjectFolderUpdate(const QString& projectFolder);
    /**
     * @brief Rolls back an update that was not committed, and removes the
     * folder again if it made it; never throws.
     */
    ~ProjectFolderUpdate();

    /**
     * @brief Completes or rolls back an interrupted update, then holds the
     * folder's lock, shared, for as long as the object returned lives: both
     * files read meanwhile are of one revision, as an update in any process
     * waits for the lock. Waits for an update still running; creates no
     * folder; an empty object when there is no folder. Any thread.
     * @param projectFolder the local project folder.
     * @throws std::runtime_error naming the path and the system's reason.
     */
    static LockedFolder lockedForReading(const QString& projectFolder);
    /** @brief "KBMProjectTemplate.Tessel" and "KBMProjectTemplate.db". */
    static const QStringList& projectFiles();

    /** @return the path of the project file `name` in the folder. */
    QString path(const QString& name) const { return m_workPath + QLatin1Char('/') + name; }
    /** @return the path of the staged copy of the project file `name`. */
    QString stagedPath(const QString& name) const { return path(staged(name)); }

    /**
     * @brief Copies a file into the staged copy of the project file `name`
     * and flushes it.
     * @throws std::runtime_error naming the path and the system's reason.
     */
    void stage(const QString& from, const QString& name);
    /**
     * @brief Puts the staged files in place of the project files.
     * @throws std::runtime_error; the next update or open then completes it
     * once the journal is in place, or else rolls it back.
     */
    void commit();

private:
    static QString staged(const QString& name) { return QLatin1Char('.') + name + ".bimcore-new"; }
    static LockedFolder lockedFolder(const QString& path); // and recovered; none if missing
    static bool needsRecovery(const LockedFolder& folder);
    static void recover(const LockedFolder& folder);

    QString m_path;
    QString m_workPath; // the project folder, or for a first fetch the folder beside it
    LockedFolder m_folder; // open and locked for the whole update
    bool m_created { false };
    bool m_committed { false };
};
} // namespace PlatformSvcComm
