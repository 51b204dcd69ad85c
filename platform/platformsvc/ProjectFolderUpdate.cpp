#include "ProjectFolderUpdate.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <stdio.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PlatformSvcComm {
namespace {
// Its presence means the staged pair is complete and must replace the old one.
const QString kJournal = QStringLiteral(".bimcore-update");

const auto native = QFile::encodeName;

[[noreturn]] void fail(const char* what, const QString& path, int error = errno)
{
    throw std::runtime_error(QStringLiteral("%1 \"%2\": %3")
                                 .arg(QLatin1String(what), QDir::toNativeSeparators(path),
                                     QString::fromLocal8Bit(std::strerror(error)))
                                 .toStdString());
}

bool exists(int folder, const QString& name)
{
    struct stat st;
    return ::fstatat(folder, native(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// SQLite's journals beside a database belong to the file they were made for:
// left beside a new file, they would be played into it.
void removeWithJournals(int folder, const QString& name)
{
    for (const char* suffix : { "", "-journal", "-wal", "-shm" })
        if (::unlinkat(folder, native(name + suffix).constData(), 0) != 0 && errno != ENOENT)
            fail("Cannot remove", name + suffix);
}
} // namespace

const QStringList& ProjectFolderUpdate::projectFiles()
{
    static const QStringList names { "KBMProjectTemplate.Tessel", "KBMProjectTemplate.db" };
    return names;
}

ProjectFolderUpdate::ProjectFolderUpdate(const QString& projectFolder)
    : m_path(QDir::cleanPath(QFileInfo(projectFolder).absoluteFilePath()))
{
    if (projectFolder.trimmed().isEmpty())
        throw std::runtime_error("The request names no local project folder.");
    m_created = !QFileInfo(m_path).isDir();
    if (!QDir().mkpath(m_path))
        fail("Cannot create the folder", m_path, EACCES);
    if (!(m_folder = lockedFolder(m_path)))
        fail("Cannot open the folder", m_path);
}

UniqueFd ProjectFolderUpdate::lockedFolder(const QString& path)
{
    UniqueFd folder(::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder && (errno == ENOENT || errno == ENOTDIR))
        return folder;
    if (!folder || ::flock(folder.get(), LOCK_EX) != 0)
        fail("Cannot lock the folder", path);
    // Only an update cut off leaves work: an open on a read-only disk writes nothing.
    const int fd = folder.get();
    if (exists(fd, kJournal) || exists(fd, staged(projectFiles()[0]))
        || exists(fd, staged(projectFiles()[1])))
        recover(fd, path);
    return folder;
}

ProjectFolderUpdate::~ProjectFolderUpdate()
{
    try {
        recover(m_folder.get(), m_path);
    } catch (const std::exception&) {
        // The next update or open removes them first.
    }
    // A host opens a missing folder by fetching it again, an empty one not.
    if (m_created && !m_committed)
        ::rmdir(native(m_path).constData());
}

void ProjectFolderUpdate::recover(int folder, const QString& path)
{
    if (exists(folder, kJournal)) {
        for (const QString& name : projectFiles()) {
            if (!exists(folder, staged(name)))
                continue; // already in place
            removeWithJournals(folder, name);
            const QByteArray from = native(staged(name)), to = native(name);
            if (::renameat(folder, from.constData(), folder, to.constData()) != 0)
                fail("Cannot move into place", path + '/' + name);
        }
        if (::fsync(folder) != 0)
            fail("Cannot flush the folder", path);
    }
    for (const QString& name : projectFiles())
        removeWithJournals(folder, staged(name));
    removeWithJournals(folder, kJournal);
    if (::fsync(folder) != 0)
        fail("Cannot flush the folder", path);
}

void ProjectFolderUpdate::stage(const QString& from, const QString& name)
{
    const UniqueFd in(::open(native(from).constData(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (!in || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode))
        fail("Cannot read the file", from, in ? EINVAL : errno);
    removeWithJournals(m_folder.get(), staged(name));
    const UniqueFd out(::openat(m_folder.get(), native(staged(name)).constData(),
        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!out)
        fail("Cannot create", stagedPath(name));
    for (ssize_t n; (n = ::sendfile(out.get(), in.get(), nullptr, 1 << 30)) != 0;)
        if (n < 0 && errno != EINTR)
            fail("Cannot copy into", stagedPath(name));
    if (::fsync(out.get()) != 0)
        fail("Cannot flush", stagedPath(name));
}

void ProjectFolderUpdate::commit()
{
    const int folder = m_folder.get();
    // The staged files are flushed: once the journal is there, the update is
    // complete even if the process goes now. Empty, it is never half written.
    if (::fsync(folder) != 0
        || !UniqueFd(::openat(folder, native(kJournal).constData(),
            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666))
        || ::fsync(folder) != 0)
        fail("Cannot put the journal in place", path(kJournal));
    m_committed = true;
    recover(folder, m_path);
}
} // namespace PlatformSvcComm
