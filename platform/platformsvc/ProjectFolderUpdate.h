#pragma once

#include "DurableFiles.h"

#include <platformsvc/platformsvc_export.h>

#include <QString>
#include <QStringList>

namespace PlatformSvcComm {

// Replaces files of a project folder all together or not at all, even when
// the process is killed at any instant or the machine loses power.
//
// The new files are written into a staging folder beside the project folder
// (".<name>.bimcore-staging"), which also receives hard links to every other
// entry of the project folder. Once everything in it is flushed it is renamed
// to ".<name>.bimcore-ready" and swapped with the project folder in one step
// (renameat2 RENAME_EXCHANGE; where the file system cannot, the project folder
// is moved to ".<name>.bimcore-old" and the ready folder into its place). The
// previous contents are then removed.
//
// Recovery, run before anything else by every update: when the project folder
// is missing, a ready folder completes the interrupted update and an old
// folder is put back; then every leftover sibling is removed. A project
// folder that exists is always complete, old or new.
//
// An exclusive lock on the parent folder keeps two updates of the same parent
// (in this process or another) from running at once.
class PLATFORMSVC_EXPORT ProjectFolderUpdate
{
public:
    // Creates the parent folder if needed, takes the lock and recovers.
    explicit ProjectFolderUpdate(const QString& projectFolder);
    // Removes the staging folder of an update that was not committed.
    ~ProjectFolderUpdate();
    ProjectFolderUpdate(const ProjectFolderUpdate&) = delete;
    ProjectFolderUpdate& operator=(const ProjectFolderUpdate&) = delete;

    const QString& projectFolder() const { return m_folder; }
    bool projectFolderExisted() const { return m_folderExisted; }

    // Creates the staging folder with links to the project folder's entries
    // other than `replacedNames`, and returns it; the caller writes the new
    // files there, flushed.
    const QString& stage(const QStringList& replacedNames);
    // Puts the staged folder in place of the project folder.
    void commit();

private:
    void recover();
    QString sibling(const char* suffix) const;

    QString m_folder;
    QString m_parent;
    QString m_staging;
    QString m_ready;
    QString m_old;
    bool m_folderExisted { false };
    bool m_staged { false };
    bool m_committed { false };
    DurableFiles::Fd m_lock;
};

} // namespace PlatformSvcComm
