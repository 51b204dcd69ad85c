#ifndef _WIN32

#include "FileIo.h"

#include <QFile>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs {

QString lastError()
{
    return qt_error_string(errno);
}

bool lastErrorIsMissing()
{
    return errno == ENOENT || errno == ENOTDIR;
}

UniqueFd openForReading(const QString& path)
{
    // Not blocking, so that a pipe at the path cannot hold the open up before
    // it is found to be no file.
    UniqueFd file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (file && (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))) {
        file.reset();
        errno = EINVAL;
    }
    return file;
}

UniqueFd createNew(const QString& path)
{
    return UniqueFd(::open(QFile::encodeName(path).constData(),
        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
}

qint64 sizeOf(const UniqueFd& file)
{
    struct stat status {};
    return ::fstat(file.get(), &status) == 0 ? qint64(status.st_size) : -1;
}

qint64 readAt(const UniqueFd& file, char* data, qint64 size, qint64 offset)
{
    ssize_t got;
    do
        got = ::pread(file.get(), data, size_t(size), off_t(offset));
    while (got < 0 && errno == EINTR);
    return qint64(got);
}

bool writeAll(const UniqueFd& file, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(file.get(), data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool flushToDisk(const UniqueFd& file)
{
    return ::fsync(file.get()) == 0;
}

bool flushFile(const QString& path)
{
    const UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    return fd && ::fsync(fd.get()) == 0;
}

bool flushFolder(const QString& folder)
{
    const UniqueFd fd(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd && ::fsync(fd.get()) == 0;
}

bool replaceEntry(const QString& from, const QString& to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData())
        == 0;
}

} // namespace fs

#endif
