#ifndef _WIN32

#include "Folder.h"

#include "FileIo.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs {

namespace {

QByteArray encoded(const QString& name)
{
    return QFile::encodeName(name);
}

constexpr int kLockTries = 100;

} // namespace

Folder::Folder(const QString& path)
    : m_handle(::open(encoded(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
}

Folder Folder::subFolder(const QString& name) const
{
    Folder sub;
    const QByteArray entry = encoded(name);
    if (::mkdirat(m_handle.get(), entry.constData(), 0700) == 0 || errno == EEXIST)
        sub.m_handle.reset(::openat(
            m_handle.get(), entry.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return sub;
}

void Folder::removeSubFolder(const QString& name) const
{
    ::unlinkat(m_handle.get(), encoded(name).constData(), AT_REMOVEDIR);
}

UniqueFd Folder::lock(const QString& name) const
{
    const QByteArray entry = encoded(name);
    // Each new try follows a removal by another holder, which ends.
    for (int tries = 0; tries < kLockTries; ++tries) {
        UniqueFd file(::openat(m_handle.get(), entry.constData(),
            O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
        struct stat held
        {
        };
        struct stat named
        {
        };
        if (!file || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0 || ::fstat(file.get(), &held) != 0)
            return UniqueFd();
        if (::fstatat(m_handle.get(), entry.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
            && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            return file;
    }
    return UniqueFd();
}

UniqueFd Folder::openFile(const QString& name, bool create) const
{
    const QByteArray entry = encoded(name);
    if (create)
        ::unlinkat(m_handle.get(), entry.constData(), 0);
    // Not blocking, so that a pipe put there cannot hold the open up.
    const int flags
        = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0);
    UniqueFd file(::openat(m_handle.get(), entry.constData(), flags, 0666));
    struct stat st
    {
    };
    if (file && (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1))
        file.reset();
    return file;
}

bool Folder::replaceFile(const QString& name, const QByteArray& content) const
{
    const QString temporary = name + QStringLiteral(".new");
    const UniqueFd file = openFile(temporary, true);
    const bool written = file && writeAll(file, content.constData(), content.size())
        && flushToDisk(file)
        && ::renameat(m_handle.get(), encoded(temporary).constData(), m_handle.get(),
               encoded(name).constData())
            == 0;
    if (!written)
        remove(temporary);
    return written;
}

void Folder::remove(const QString& name) const
{
    ::unlinkat(m_handle.get(), encoded(name).constData(), 0);
}

qint64 Folder::ageOf(const QString& name) const
{
    struct stat st
    {
    };
    if (::fstatat(m_handle.get(), encoded(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    // A file's time may come from a finer clock than time() reads.
    return std::max<qint64>(0, qint64(std::time(nullptr)) - qint64(st.st_mtime));
}

QStringList Folder::filesEndingWith(const QString& ending) const
{
    QStringList found;
    DIR* listing = ::fdopendir(::dup(m_handle.get()));
    if (!listing)
        return found;
    ::rewinddir(listing);
    while (const dirent* entry = ::readdir(listing)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name.endsWith(ending))
            found.append(name);
    }
    ::closedir(listing);
    return found;
}

Folder::Entry Folder::entry(const QString& name, unsigned* mode) const
{
    const QByteArray entry = encoded(name);
    struct stat st
    {
    };
    if (::fstatat(m_handle.get(), entry.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Entry::Missing : Entry::Refused;
    if (S_ISDIR(st.st_mode))
        return Entry::Refused;
    if (!S_ISREG(st.st_mode))
        return Entry::Other;
    // As cp does: new content is no program its owner chose to run as another.
    *mode = st.st_mode & 07777 & ~unsigned(S_ISUID | S_ISGID);
    return ::faccessat(m_handle.get(), entry.constData(), W_OK, AT_EACCESS) == 0 ? Entry::Writable
                                                                                 : Entry::Refused;
}

bool Folder::moveInto(const QString& from, const Folder& into, const QString& to) const
{
    return ::renameat(m_handle.get(), encoded(from).constData(), into.m_handle.get(),
               encoded(to).constData())
        == 0;
}

bool nameFits(const QString& name)
{
    return encoded(name).size() <= NAME_MAX;
}

qint64 fileSizeLimit()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return qint64(limit.rlim_cur);
    return -1;
}

bool setMode(const UniqueFd& file, unsigned mode)
{
    return ::fchmod(file.get(), mode_t(mode)) == 0;
}

bool cutTo(const UniqueFd& file, qint64 size)
{
    return ::ftruncate(file.get(), off_t(size)) == 0
        && ::lseek(file.get(), off_t(size), SEEK_SET) == size;
}

} // namespace fs

#endif
