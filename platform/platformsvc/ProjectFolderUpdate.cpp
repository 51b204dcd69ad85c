#include "ProjectFolderUpdate.h"

#include "CentralStoreError.h"
#include "DurableFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace PlatformSvcComm {

namespace {

QString absoluteFolder(const QString& path)
{
    QFileInfo info(path);
    // A project folder reached through a link is updated where it really is.
    QString resolved = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    resolved = QDir::cleanPath(resolved);
    while (resolved.size() > 1 && resolved.endsWith(QLatin1Char('/')))
        resolved.chop(1);
    return resolved;
}

} // namespace

ProjectFolderUpdate::ProjectFolderUpdate(const QString& projectFolder)
{
    if (projectFolder.trimmed().isEmpty())
        throw CentralStoreError(QStringLiteral("The request names no local project folder."));
    m_folder = absoluteFolder(projectFolder);
    const QFileInfo info(m_folder);
    m_parent = info.path();
    if (info.fileName().isEmpty() || m_parent == m_folder)
        throw CentralStoreError(QStringLiteral("\"%1\" cannot be a project folder.")
                                    .arg(QDir::toNativeSeparators(m_folder)));
    m_staging = sibling(".bimcore-staging");
    m_ready = sibling(".bimcore-ready");
    m_old = sibling(".bimcore-old");

    // Folders made here are flushed into their parents, so that a first fetch
    // survives a power loss as a whole.
    QStringList created;
    for (QString folder = m_parent;
         !QFileInfo::exists(folder) && QFileInfo(folder).path() != folder;
         folder = QFileInfo(folder).path())
        created.prepend(folder);
    if (!QDir().mkpath(m_parent))
        throw CentralStoreError(QStringLiteral("Cannot create the folder \"%1\".")
                                    .arg(QDir::toNativeSeparators(m_parent)));
    for (const QString& folder : created)
        DurableFiles::syncFolder(QFileInfo(folder).path());
    m_lock.reset(
        ::open(QFile::encodeName(m_parent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_lock.valid() || ::flock(m_lock.get(), LOCK_EX) != 0) {
        const int error = errno;
        throw CentralStoreError(QStringLiteral("Cannot lock the folder \"%1\": %2")
                                    .arg(QDir::toNativeSeparators(m_parent),
                                        QString::fromLocal8Bit(std::strerror(error))));
    }
    recover();
    m_folderExisted = QFileInfo(m_folder).isDir();
}

ProjectFolderUpdate::~ProjectFolderUpdate()
{
    if (m_staged && !m_committed) {
        try {
            DurableFiles::removeTree(m_staging);
        } catch (...) {
            // The next update removes it before it starts.
        }
    }
}

QString ProjectFolderUpdate::sibling(const char* suffix) const
{
    return m_parent + QStringLiteral("/.") + QFileInfo(m_folder).fileName() + QLatin1String(suffix);
}

void ProjectFolderUpdate::recover()
{
    bool changed = false;
    if (!DurableFiles::exists(m_folder)) {
        if (DurableFiles::exists(m_ready)) {
            DurableFiles::rename(m_ready, m_folder);
            changed = true;
        } else if (DurableFiles::exists(m_old)) {
            DurableFiles::rename(m_old, m_folder);
            changed = true;
        }
    }
    for (const QString& leftover : { m_staging, m_ready, m_old }) {
        if (DurableFiles::exists(leftover)) {
            DurableFiles::removeTree(leftover);
            changed = true;
        }
    }
    if (changed)
        DurableFiles::syncFolder(m_parent);
}

const QString& ProjectFolderUpdate::stage(const QStringList& replacedNames)
{
    mode_t mode = 0777;
    struct stat st;
    if (m_folderExisted && ::stat(QFile::encodeName(m_folder).constData(), &st) == 0)
        mode = st.st_mode & 07777;
    if (::mkdir(QFile::encodeName(m_staging).constData(), mode) != 0)
        throw CentralStoreError(QStringLiteral("Cannot create the folder \"%1\": %2")
                                    .arg(QDir::toNativeSeparators(m_staging),
                                        QString::fromLocal8Bit(std::strerror(errno))));
    m_staged = true;
    if (m_folderExisted)
        DurableFiles::mirrorFolder(m_folder, m_staging, replacedNames);
    return m_staging;
}

void ProjectFolderUpdate::commit()
{
    DurableFiles::syncFolder(m_staging);
    // From here on the staged folder is complete: a crash between the two
    // steps below is completed by recovery instead of rolled back.
    DurableFiles::rename(m_staging, m_ready);
    m_committed = true;
    DurableFiles::syncFolder(m_parent);
    if (!m_folderExisted) {
        DurableFiles::rename(m_ready, m_folder);
    } else if (!DurableFiles::exchange(m_ready, m_folder)) {
        DurableFiles::rename(m_folder, m_old);
        DurableFiles::rename(m_ready, m_folder);
    }
    DurableFiles::syncFolder(m_parent);
    DurableFiles::removeTree(m_ready);
    DurableFiles::removeTree(m_old);
}

} // namespace PlatformSvcComm
