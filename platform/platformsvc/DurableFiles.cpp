#include "DurableFiles.h"

#include "CentralStoreError.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace PlatformSvcComm {

CentralStoreError::CentralStoreError(const QString& message)
    : std::runtime_error(message.toUtf8().toStdString())
{
}

namespace DurableFiles {

namespace {

// Large enough that the per-chunk work is lost in the copying, small enough
// for progress to move several times a second on a slow disk.
constexpr qint64 kChunkBytes = 16 * 1024 * 1024;

QByteArray native(const QString& path)
{
    return QFile::encodeName(QDir::toNativeSeparators(path));
}

[[noreturn]] void fail(const QString& what, const QString& path, int error)
{
    throw CentralStoreError(QStringLiteral("%1 \"%2\": %3")
                                .arg(what, QDir::toNativeSeparators(path),
                                    QString::fromLocal8Bit(std::strerror(error))));
}

void syncFd(int fd, const QString& path)
{
    if (::fsync(fd) != 0)
        fail(QStringLiteral("Cannot flush"), path, errno);
}

bool copyChunkInKernel(int in, int out, qint64 length, qint64* copied)
{
#ifdef __linux__
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(length), 0);
    if (n >= 0) {
        *copied = n;
        return true;
    }
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
        return false;
    *copied = -1;
    return true;
#else
    (void)in, (void)out, (void)length, (void)copied;
    return false;
#endif
}

qint64 copyChunkThroughBuffer(int in, int out, qint64 length)
{
    static thread_local std::unique_ptr<char[]> buffer(new char[1 << 20]);
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::read(in, buffer.get(), std::min<qint64>(length - done, 1 << 20));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? -1 : done;
        for (ssize_t written = 0; written < n;) {
            const ssize_t w = ::write(out, buffer.get() + written, n - written);
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0)
                return -1;
            written += w;
        }
        done += n;
    }
    return done;
}

FileIdentity identityOf(const struct stat& st)
{
    FileIdentity id;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

} // namespace

FileIdentity identify(const QString& path)
{
    struct stat st;
    if (::stat(native(path).constData(), &st) != 0)
        return {};
    return identityOf(st);
}

bool exists(const QString& path)
{
    struct stat st;
    return ::lstat(native(path).constData(), &st) == 0;
}

void syncFolder(const QString& folder)
{
    Fd fd(::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        fail(QStringLiteral("Cannot open folder"), folder, errno);
    syncFd(fd.get(), folder);
}

FileIdentity copyFile(
    const QString& from, const QString& to, const std::function<void(qint64, qint64)>& onProgress)
{
    Fd in(::open(native(from).constData(), O_RDONLY | O_CLOEXEC));
    if (!in.valid())
        fail(QStringLiteral("Cannot read"), from, errno);
    struct stat st;
    if (::fstat(in.get(), &st) != 0)
        fail(QStringLiteral("Cannot read"), from, errno);
    if (!S_ISREG(st.st_mode))
        fail(QStringLiteral("Not a file"), from, EINVAL);
    Fd out(::open(native(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!out.valid())
        fail(QStringLiteral("Cannot create"), to, errno);

    const qint64 total = st.st_size;
    qint64 done = 0;
    bool inKernel = true;
    for (;;) {
        qint64 n = 0;
        if (!inKernel || !copyChunkInKernel(in.get(), out.get(), kChunkBytes, &n)) {
            inKernel = false;
            n = copyChunkThroughBuffer(in.get(), out.get(), kChunkBytes);
        }
        if (n < 0)
            fail(QStringLiteral("Cannot copy into"), to, errno);
        if (n == 0)
            break;
#ifdef __linux__
        // Start writing this chunk back now, so the final flush has little
        // left to wait for.
        ::sync_file_range(out.get(), done, n, SYNC_FILE_RANGE_WRITE);
#endif
        done += n;
        if (onProgress)
            onProgress(done, std::max(total, done));
    }
    syncFd(out.get(), to);
    if (::fstat(in.get(), &st) != 0)
        fail(QStringLiteral("Cannot read"), from, errno);
    return identityOf(st);
}

void mirrorFolder(const QString& from, const QString& to, const QStringList& skip)
{
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native(from).constData()), &::closedir);
    if (!dir)
        fail(QStringLiteral("Cannot list"), from, errno);
    while (const dirent* entry = ::readdir(dir.get())) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name == QLatin1String(".") || name == QLatin1String("..") || skip.contains(name))
            continue;
        const QString source = from + QLatin1Char('/') + name;
        const QString target = to + QLatin1Char('/') + name;
        struct stat st;
        if (::lstat(native(source).constData(), &st) != 0)
            fail(QStringLiteral("Cannot read"), source, errno);
        if (S_ISDIR(st.st_mode)) {
            if (::mkdir(native(target).constData(), st.st_mode & 07777) != 0)
                fail(QStringLiteral("Cannot create folder"), target, errno);
            mirrorFolder(source, target, {});
            continue;
        }
        if (::link(native(source).constData(), native(target).constData()) == 0)
            continue;
        const int linkError = errno;
        if (!S_ISREG(st.st_mode)
            || (linkError != EXDEV && linkError != EPERM && linkError != EMLINK))
            fail(QStringLiteral("Cannot link"), source, linkError);
        copyFile(source, target, {});
    }
    syncFolder(to);
}

bool exchange(const QString& a, const QString& b)
{
#if defined(__linux__) && defined(SYS_renameat2)
#ifndef RENAME_EXCHANGE
#define RENAME_EXCHANGE (1 << 1)
#endif
    if (::syscall(SYS_renameat2, AT_FDCWD, native(a).constData(), AT_FDCWD, native(b).constData(),
            RENAME_EXCHANGE)
        == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        fail(QStringLiteral("Cannot swap in"), b, errno);
#else
    (void)a, (void)b;
#endif
    return false;
}

void rename(const QString& from, const QString& to)
{
    if (::rename(native(from).constData(), native(to).constData()) != 0)
        fail(QStringLiteral("Cannot move"), from, errno);
}

void removeTree(const QString& path)
{
    struct stat st;
    if (::lstat(native(path).constData(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode) ? !QDir(path).removeRecursively() : !QFile::remove(path))
        fail(QStringLiteral("Cannot remove"), path, EACCES);
}

} // namespace DurableFiles
} // namespace PlatformSvcComm
