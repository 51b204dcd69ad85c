#ifndef _WIN32

#include "DownloadFolder.h"

#include "FileName.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

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

namespace network_detail {

namespace {

QByteArray encoded(const QString& name)
{
    return QFile::encodeName(name);
}

constexpr int kLockTries = 100;

} // namespace

DownloadFolder::DownloadFolder(const QString& prefix)
    : m_prefix(prefix)
{
    // The prefix need not end in a separator: what follows its last one
    // begins the target's name.
    const QFileInfo target(prefix + QLatin1Char('x'));
    m_stemOfName = target.fileName().chopped(1);
    m_dir.reset(
        ::open(encoded(target.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool DownloadFolder::openBookkeeping()
{
    m_bookkeeping.reset();
    const QByteArray name = encoded(kBookkeepingFolder);
    if (::mkdirat(m_dir.get(), name.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    m_bookkeeping.reset(
        ::openat(m_dir.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return m_bookkeeping.valid();
}

void DownloadFolder::closeBookkeeping()
{
    if (!m_bookkeeping)
        return;
    m_bookkeeping.reset();
    ::unlinkat(m_dir.get(), encoded(kBookkeepingFolder).constData(), AT_REMOVEDIR);
}

UniqueFd DownloadFolder::lock(const QString& stem) const
{
    const QByteArray name = encoded(stem + QStringLiteral(".lock"));
    // Each new try follows a removal by another download, which ends.
    for (int tries = 0; tries < kLockTries; ++tries) {
        // In a removed folder nothing can be made: ENOENT.
        UniqueFd file(::openat(m_bookkeeping.get(), name.constData(),
            O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
        if (!file || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
            return UniqueFd();
        struct stat held
        {
        };
        struct stat named
        {
        };
        if (::fstat(file.get(), &held) != 0)
            return UniqueFd();
        if (::fstatat(m_bookkeeping.get(), name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
            && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            return file;
    }
    return UniqueFd();
}

UniqueFd DownloadFolder::openFile(const QString& name, bool create) const
{
    const QByteArray path = encoded(name);
    if (create)
        ::unlinkat(m_bookkeeping.get(), path.constData(), 0);
    // Not blocking, so that a pipe put there cannot hold the open up.
    const int flags
        = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0);
    UniqueFd file(::openat(m_bookkeeping.get(), path.constData(), flags, 0666));
    struct stat st
    {
    };
    if (file && (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1))
        file.reset();
    return file;
}

std::optional<QByteArray> DownloadFolder::readFile(const QString& name, qint64 largest) const
{
    const UniqueFd file = openFile(name, false);
    struct stat st
    {
    };
    if (!file || ::fstat(file.get(), &st) != 0 || st.st_size > largest)
        return std::nullopt;
    QByteArray content(int(st.st_size), Qt::Uninitialized);
    if (::pread(file.get(), content.data(), size_t(content.size()), 0) != content.size())
        return std::nullopt;
    return content;
}

bool DownloadFolder::replaceFile(const QString& name, const QByteArray& content) const
{
    const QString temporary = name + QStringLiteral(".new");
    const UniqueFd file = openFile(temporary, true);
    const bool written = file
        && ::write(file.get(), content.constData(), size_t(content.size())) == content.size()
        && flushToDisk(file)
        && ::renameat(m_bookkeeping.get(), encoded(temporary).constData(), m_bookkeeping.get(),
               encoded(name).constData())
            == 0;
    if (!written)
        remove(temporary);
    return written;
}

void DownloadFolder::remove(const QString& name) const
{
    ::unlinkat(m_bookkeeping.get(), encoded(name).constData(), 0);
}

qint64 DownloadFolder::ageOf(const QString& name) const
{
    struct stat st
    {
    };
    if (::fstatat(m_bookkeeping.get(), encoded(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    // A file's time may come from a finer clock than time() reads, and so be
    // a moment ahead of it: a file of now is none the less of now.
    return std::max<qint64>(0, qint64(std::time(nullptr)) - qint64(st.st_mtime));
}

QStringList DownloadFolder::filesEndingWith(const QString& ending) const
{
    QStringList found;
    DIR* listing = ::fdopendir(::dup(m_bookkeeping.get()));
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

DownloadFolder::Target DownloadFolder::target(const QString& lastPart, unsigned* mode) const
{
    const QByteArray name = encoded(lastPart);
    struct stat st
    {
    };
    if (::fstatat(m_dir.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Target::Missing : Target::Refused;
    if (S_ISDIR(st.st_mode))
        return Target::Refused;
    if (!S_ISREG(st.st_mode))
        return Target::Other;
    // As cp does: the new content is no program its owner chose to run
    // under another user or group.
    *mode = st.st_mode & 07777 & ~unsigned(S_ISUID | S_ISGID);
    return ::faccessat(m_dir.get(), name.constData(), W_OK, AT_EACCESS) == 0 ? Target::Writable
                                                                             : Target::Refused;
}

bool DownloadFolder::moveOver(const QString& from, const QString& lastPart) const
{
    return ::renameat(m_bookkeeping.get(), encoded(from).constData(), m_dir.get(),
               encoded(lastPart).constData())
        == 0;
}

bool nameFitsFileSystem(const QString& lastPart)
{
    return encoded(lastPart).size() <= NAME_MAX;
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

} // namespace network_detail

#endif
