#include "KernelCopy.h"

#include <bimcore/storage/fs/UniqueFd.h>

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace {

bool copyThrough(const QString& from, QFile& out)
{
    // A new file, never one whose bytes another name shares.
    QFile::remove(out.fileName());
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    ssize_t n = 0;
    while ((n = ::copy_file_range(in.handle(), nullptr, out.handle(), nullptr, 1 << 30, 0)) > 0) { }
    return n == 0;
}

} // namespace

bool kernelCopy(const QString& from, const QString& to)
{
    QFile out(to);
    return copyThrough(from, out);
}

void copyFlushed(const QString& from, const QString& to)
{
    QFile out(to);
    if (!copyThrough(from, out) || ::fsync(out.handle()) != 0)
        qFatal("cannot copy %s to %s", qPrintable(from), qPrintable(to));
    const UniqueFd folder(::open(
        QFile::encodeName(QFileInfo(to).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder || ::fsync(folder.get()) != 0)
        qFatal("cannot flush the folder of %s", qPrintable(to));
}
