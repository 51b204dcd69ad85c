#ifndef _WIN32

#include "LockedFolder.h"

#include <bimcore/platform/krvcommon/FileSystem.h>
#include <bimcore/storage/fs/FileIo.h>

#include <QDir>
#include <QFileInfo>
#include <QFile>

#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PlatformSvcComm {

namespace {

const auto native = QFile::encodeName;

[[noreturn]] void fail(const char* what, const QString& path)
{
    throw std::runtime_error(QStringLiteral("%1 \"%2\": %3")
                                 .arg(QLatin1String(what), QDir::toNativeSeparators(path),
                                     fs::lastError())
                                 .toStdString());
}

} // namespace

LockedFolder LockedFolder::open(const QString& path, bool shared)
{
    LockedFolder folder;
    folder.m_path = path;
    folder.m_folder.reset(::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.m_folder && (errno == ENOENT || errno == ENOTDIR))
        return folder;
    // The folder's own lock: it needs no entry, and so no write permission.
    if (!folder.m_folder || ::flock(folder.m_folder.get(), shared ? LOCK_SH : LOCK_EX) != 0)
        fail("Cannot lock the folder", path);
    return folder;
}

bool LockedFolder::exists(const QString& name) const
{
    struct stat st;
    return ::fstatat(m_folder.get(), native(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool LockedFolder::isPlainFile(const QString& name) const
{
    struct stat st;
    return ::fstatat(m_folder.get(), native(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(st.st_mode);
}

void LockedFolder::removeLeftover(const QString& name) const
{
    if (::unlinkat(m_folder.get(), native(name).constData(), 0) != 0 && errno == EISDIR)
        deleteTree(pathOf(name)); // never following a link inside

}

void LockedFolder::remove(const QString& name) const
{
    if (::unlinkat(m_folder.get(), native(name).constData(), 0) != 0 && errno != ENOENT)
        fail("Cannot remove", pathOf(name));
}

void LockedFolder::rename(const QString& from, const QString& to) const
{
    if (::renameat(m_folder.get(), native(from).constData(), m_folder.get(), native(to).constData())
        != 0)
        fail("Cannot move into place", pathOf(to));
}

void LockedFolder::createEmpty(const QString& name) const
{
    if (!UniqueFd(::openat(m_folder.get(), native(name).constData(),
            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666)))
        fail("Cannot create", pathOf(name));
}

void LockedFolder::copyInto(const QString& from, const QString& name) const
{
    const UniqueFd in = fs::openForReading(from);
    if (!in)
        fail("Cannot read the file", from);
    const UniqueFd out(::openat(m_folder.get(), native(name).constData(),
        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!out)
        fail("Cannot create", pathOf(name));
    // The reading descriptor does not block; a plain file never makes it wait.
    for (ssize_t n; (n = ::sendfile(out.get(), in.get(), nullptr, 1 << 30)) != 0;)
        if (n < 0 && errno != EINTR)
            fail("Cannot copy into", pathOf(name));
    if (!fs::flushToDisk(out))
        fail("Cannot flush", pathOf(name));
}

void LockedFolder::flush() const
{
    if (::fsync(m_folder.get()) != 0)
        fail("Cannot flush the folder", m_path);
}

void LockedFolder::moveFolderTo(const QString& target)
{
    if (::renameat2(AT_FDCWD, native(m_path).constData(), AT_FDCWD, native(target).constData(),
            RENAME_NOREPLACE)
        != 0)
        fail("Cannot move into place", target);
    m_path = target;
    if (!fs::flushFolder(QFileInfo(target).path()))
        fail("Cannot flush the folder", QFileInfo(target).path());
}

void LockedFolder::removeFolder()
{
    m_folder.reset();
    ::rmdir(native(m_path).constData());
}

} // namespace PlatformSvcComm

#endif
