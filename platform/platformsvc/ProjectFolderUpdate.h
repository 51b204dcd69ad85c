#pragma once

#include <bimcore/platform/platformsvc/platformsvc_export.h>

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <sys/types.h>

namespace PlatformSvcComm {

struct Fd;

// Copies a regular file into a new file (which must not exist) and returns
// the bytes copied. onProgress, if set, gets the bytes copied so far after
// each chunk and may throw to abandon the copy.
qint64 copyFile(
    const QString& from, const QString& to, const std::function<void(qint64 copied)>& onProgress);

// Writes a file's data to the disk.
void flushFile(const QString& path);

// Replaces files of a project folder all together or not at all, even when
// the process is killed at any instant or the machine loses power: every
// write is flushed before the name that makes it visible is put in place.
// The new files are written into ".<name>.bimcore-staging" beside the project
// folder, with hard links to the folder's other entries; once flushed it is
// renamed to ".<name>.bimcore-ready" and swapped with the project folder in
// one step (or, where the file system cannot, the project folder is moved to
// ".<name>.bimcore-old" first). Recovery, run first by every update: a
// missing project folder is completed from the ready folder or restored from
// the old one, then every leftover is removed. An exclusive lock on the parent
// folder keeps two updates of the same parent (in any process) apart.
// Faults throw std::runtime_error naming the path and the system's reason.
class PLATFORMSVC_EXPORT ProjectFolderUpdate
{
public:
    // Creates the parent folder if needed, takes the lock and recovers.
    explicit ProjectFolderUpdate(const QString& projectFolder);
    // Removes the staging folder of an update that was not committed, or the
    // replaced files of one that was: those are of no use to anyone waiting
    // for the new ones, so they go last.
    ~ProjectFolderUpdate();
    ProjectFolderUpdate(const ProjectFolderUpdate&) = delete;
    ProjectFolderUpdate& operator=(const ProjectFolderUpdate&) = delete;

    const QString& projectFolder() const { return m_folder; }
    bool projectFolderExisted() const { return m_folderExisted; }

    // Creates the staging folder with links to the project folder's entries
    // other than `replacedNames`, and returns it; the caller writes the new
    // files there and flushes them.
    const QString& stage(const QStringList& replacedNames);
    // Puts the staged folder in place of the project folder.
    void commit();

private:
    void recover();

    QString m_folder;
    QString m_parent;
    QString m_staging;
    QString m_ready;
    QString m_old;
    bool m_folderExisted { false };
    mode_t m_folderMode { 0777 }; // the staged folder's, as the project folder's
    bool m_staged { false };
    bool m_committed { false };
    std::unique_ptr<Fd> m_lock;
};

} // namespace PlatformSvcComm
