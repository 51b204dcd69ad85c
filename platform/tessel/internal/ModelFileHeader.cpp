#include "ModelFile.h"
#include "TesselObjects.h"

#include <bimcore/storage/fs/UniqueFd.h>

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

quint32 bigEndian(const unsigned char* bytes, int count)
{
    quint32 value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

} // namespace

qint64 checkModelFileHeader(const QString& path)
{
    // Opened once and looked at through the descriptor: what is checked is
    // what is read. Not blocking, so that a pipe at the path cannot hold the
    // open up before it is found to be no file.
    const UniqueFd fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd && (errno == ENOENT || errno == ENOTDIR))
        raiseError(QStringLiteral("the file does not exist"));
    if (!fd)
        raiseError(QStringLiteral("the file cannot be read (%1)").arg(qt_error_string(errno)));
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        raiseError(QStringLiteral("the path is not a file"));
    unsigned char bytes[100] {};
    const ssize_t filled = ::pread(fd.get(), bytes, sizeof bytes, 0);
    static const char magic[] = "SQLite format 3";
    if (filled < ssize_t(sizeof bytes) || std::memcmp(bytes, magic, sizeof magic) != 0)
        raiseError(QStringLiteral("the file is not an SQLite database"));
    // A page size of 1 stands for 65536; the page count is valid when the
    // change counter matches.
    const quint32 pageSize = bigEndian(bytes + 16, 2) == 1 ? 65536 : bigEndian(bytes + 16, 2);
    const qint64 expected = qint64(pageSize) * bigEndian(bytes + 28, 4);
    if (bigEndian(bytes + 24, 4) == bigEndian(bytes + 92, 4) && status.st_size < expected)
        raiseError(QStringLiteral("the file is truncated (%1 of %2 bytes)")
                       .arg(status.st_size)
                       .arg(expected));
    return status.st_size;
}
