#include "ProjectFolderUpdate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <stdio.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace PlatformSvcComm {

// Owns a file descriptor; a negative one owns nothing.
struct Fd
{
    explicit Fd(int fd)
        : fd(fd)
    {
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    const int fd;
};

namespace {

// Large enough that the per-chunk work is lost in the copying, small enough
// for progress to move several times a second on a slow disk.
constexpr size_t kChunkBytes = 16 * 1024 * 1024;

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

[[noreturn]] void fail(const char* what, const QString& path, int error = errno)
{
    throw std::runtime_error(QStringLiteral("%1 \"%2\": %3")
                                 .arg(QLatin1String(what), QDir::toNativeSeparators(path),
                                     QString::fromLocal8Bit(std::strerror(error)))
                                 .toStdString());
}

bool exists(const QString& path)
{
    struct stat st;
    return ::lstat(native(path).constData(), &st) == 0;
}

// Flushes a folder's entries (names created, renamed or removed).
void syncFolder(const QString& folder)
{
    const Fd folderFd(::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.fd < 0 || ::fsync(folderFd.fd) != 0)
        fail("Cannot flush the folder", folder);
}

void rename(const QString& from, const QString& to)
{
    if (::rename(native(from).constData(), native(to).constData()) != 0)
        fail("Cannot move", from);
}

// Swaps two existing paths in one step; false when the file system cannot.
bool exchange(const QString& a, const QString& b)
{
    constexpr unsigned kExchange = 1 << 1; // RENAME_EXCHANGE
    if (::syscall(SYS_renameat2, AT_FDCWD, native(a).constData(), AT_FDCWD, native(b).constData(),
            kExchange)
        == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        fail("Cannot swap in", b);
    return false;
}

// Removes a tree if it is there; links are removed, never followed.
void removeTree(const QString& path)
{
    struct stat st;
    if (::lstat(native(path).constData(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode) ? !QDir(path).removeRecursively() : !QFile::remove(path))
        fail("Cannot remove", path, EACCES);
}

// Fills the empty folder `to` with the entries of `from` except those named
// in `skip` (top level only): sub-folders are recreated, everything else is
// hard linked (copied where the file system refuses links). The sub-folders
// are flushed; `to` is left to the caller, which flushes it once complete.
void mirrorFolder(const QString& from, const QString& to, const QStringList& skip)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native(from).constData()), &::closedir);
    if (!dir)
        fail("Cannot list", from);
    while (const dirent* entry = ::readdir(dir.get())) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name == QLatin1String(".") || name == QLatin1String("..") || skip.contains(name))
            continue;
        const QString source = from + QLatin1Char('/') + name;
        const QString target = to + QLatin1Char('/') + name;
        struct stat st;
        if (::lstat(native(source).constData(), &st) != 0)
            fail("Cannot read", source);
        if (S_ISDIR(st.st_mode)) {
            if (::mkdir(native(target).constData(), st.st_mode & 07777) != 0)
                fail("Cannot create the folder", target);
            mirrorFolder(source, target, {});
            syncFolder(target);
        } else if (::link(native(source).constData(), native(target).constData()) != 0) {
            if (!S_ISREG(st.st_mode) || (errno != EXDEV && errno != EPERM && errno != EMLINK))
                fail("Cannot link", source);
            copyFile(source, target, {});
            flushFile(target);
        }
    }
}

QString absoluteFolder(const QString& path)
{
    const QFileInfo info(path);
    // A project folder reached through a link is updated where it really is.
    return QDir::cleanPath(info.exists() ? info.canonicalFilePath() : info.absoluteFilePath());
}

} // namespace

qint64 copyFile(
    const QString& from, const QString& to, const std::function<void(qint64)>& onProgress)
{
    const Fd in(::open(native(from).constData(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (in.fd < 0 || ::fstat(in.fd, &st) != 0)
        fail("Cannot read", from);
    if (!S_ISREG(st.st_mode))
        fail("Not a file", from, EINVAL);
    const Fd out(::open(native(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (out.fd < 0)
        fail("Cannot create", to);

    qint64 done = 0;
    bool inKernel = true; // copy_file_range; sendfile where it cannot
    for (;;) {
        ssize_t n = inKernel ? ::copy_file_range(in.fd, nullptr, out.fd, nullptr, kChunkBytes, 0)
                             : ::sendfile(out.fd, in.fd, nullptr, kChunkBytes);
        if (n < 0 && inKernel
            && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            inKernel = false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail("Cannot copy into", to);
        if (n == 0)
            break;
        done += n;
        if (onProgress)
            onProgress(done);
    }
    return done;
}

void flushFile(const QString& path)
{
    const Fd file(::open(native(path).constData(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0 || ::fsync(file.fd) != 0)
        fail("Cannot flush", path);
}

ProjectFolderUpdate::ProjectFolderUpdate(const QString& projectFolder)
{
    if (projectFolder.trimmed().isEmpty())
        throw std::runtime_error("The request names no local project folder.");
    m_folder = absoluteFolder(projectFolder);
    const QFileInfo info(m_folder);
    m_parent = info.path();
    if (info.fileName().isEmpty() || m_parent == m_folder)
        throw std::runtime_error(QStringLiteral("\"%1\" cannot be a project folder.")
                                     .arg(QDir::toNativeSeparators(m_folder))
                                     .toStdString());
    const QString sibling = m_parent + QStringLiteral("/.") + info.fileName();
    m_staging = sibling + QStringLiteral(".bimcore-staging");
    m_ready = sibling + QStringLiteral(".bimcore-ready");
    m_old = sibling + QStringLiteral(".bimcore-old");

    // Folders made here are flushed into their parents, so that a first fetch
    // survives a power loss as a whole.
    QStringList created;
    for (QString folder = m_parent; !exists(folder) && QFileInfo(folder).path() != folder;
         folder = QFileInfo(folder).path())
        created.prepend(folder);
    if (!QDir().mkpath(m_parent))
        fail("Cannot create the folder", m_parent, EACCES);
    for (const QString& folder : created)
        syncFolder(QFileInfo(folder).path());
    m_lock = std::make_unique<Fd>(
        ::open(native(m_parent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (m_lock->fd < 0 || ::flock(m_lock->fd, LOCK_EX) != 0)
        fail("Cannot lock the folder", m_parent);
    recover();
    struct stat st;
    m_folderExisted = ::stat(native(m_folder).constData(), &st) == 0 && S_ISDIR(st.st_mode);
    m_folderMode = m_folderExisted ? st.st_mode & 07777 : 0777;
}

ProjectFolderUpdate::~ProjectFolderUpdate()
{
    if (!m_staged)
        return;
    try {
        if (m_committed) {
            removeTree(m_ready);
            removeTree(m_old);
        } else {
            removeTree(m_staging);
        }
    } catch (...) {
        // The next update removes it before it starts.
    }
}

void ProjectFolderUpdate::recover()
{
    bool changed = false;
    if (!exists(m_folder)) {
        for (const QString& complete : { m_ready, m_old }) {
            if (exists(complete)) {
                rename(complete, m_folder);
                changed = true;
                break;
            }
        }
    }
    for (const QString& leftover : { m_staging, m_ready, m_old }) {
        if (exists(leftover)) {
            removeTree(leftover);
            changed = true;
        }
    }
    if (changed)
        syncFolder(m_parent);
}

const QString& ProjectFolderUpdate::stage(const QStringList& replacedNames)
{
    if (::mkdir(native(m_staging).constData(), m_folderMode) != 0)
        fail("Cannot create the folder", m_staging);
    m_staged = true;
    if (m_folderExisted)
        mirrorFolder(m_folder, m_staging, replacedNames);
    return m_staging;
}

void ProjectFolderUpdate::commit()
{
    syncFolder(m_staging);
    // From here on the staged folder is complete: a crash between the steps
    // below is completed by recovery instead of rolled back.
    rename(m_staging, m_ready);
    m_committed = true;
    syncFolder(m_parent);
    if (!m_folderExisted) {
        rename(m_ready, m_folder);
    } else if (!exchange(m_ready, m_folder)) {
        rename(m_folder, m_old);
        rename(m_ready, m_folder);
    }
    syncFolder(m_parent);
}

} // namespace PlatformSvcComm
