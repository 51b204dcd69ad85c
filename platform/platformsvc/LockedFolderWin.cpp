#ifdef _WIN32

#include "LockedFolder.h"

#include <bimcore/platform/krvcommon/FileSystem.h>
#include <bimcore/storage/fs/FileIo.h>

#include <QDir>

#include <stdexcept>
#include <vector>

namespace PlatformSvcComm {

namespace {

// Windows locks byte ranges of files, not folders: the folder's lock is a
// file of its own, which is never removed, so that no two callers can ever
// hold locks on two different files of that name.
const QString kLockFile = QStringLiteral(".bimcore-lock");

[[noreturn]] void fail(const char* what, const QString& path)
{
    throw std::runtime_error(QStringLiteral("%1 \"%2\": %3")
                                 .arg(QLatin1String(what), QDir::toNativeSeparators(path),
                                     fs::lastError())
                                 .toStdString());
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

} // namespace

LockedFolder LockedFolder::open(const QString& path, bool shared)
{
    LockedFolder folder;
    folder.m_path = path;
    // Held open so that the folder cannot be renamed or removed while locked.
    folder.m_folder.reset(::CreateFileW(fs::longPath(path).c_str(), FILE_LIST_DIRECTORY,
        kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.m_folder && fs::lastErrorIsMissing())
        return folder;
    if (!folder.m_folder)
        fail("Cannot open the folder", path);
    folder.m_lock.reset(::CreateFileW(fs::longPath(folder.pathOf(kLockFile)).c_str(),
        GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder.m_lock && ::GetLastError() == ERROR_ACCESS_DENIED)
        return folder; // a folder this user cannot write, no update of this user's changes either
    OVERLAPPED whole {};
    if (!folder.m_lock
        || !::LockFileEx(folder.m_lock.get(), shared ? 0 : LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole))
        fail("Cannot lock the folder", path);
    return folder;
}

bool LockedFolder::exists(const QString& name) const
{
    return ::GetFileAttributesW(fs::longPath(pathOf(name)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool LockedFolder::isPlainFile(const QString& name) const
{
    const DWORD attributes = ::GetFileAttributesW(fs::longPath(pathOf(name)).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES
        && !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

void LockedFolder::removeLeftover(const QString& name) const
{
    // deleteTree removes a link to a folder as a link, and never follows one inside.
    if (!::DeleteFileW(fs::longPath(pathOf(name)).c_str()))
        deleteTree(pathOf(name));
}

void LockedFolder::remove(const QString& name) const
{
    // DeleteFileW removes a link, never what it leads to.
    if (!::DeleteFileW(fs::longPath(pathOf(name)).c_str()) && !fs::lastErrorIsMissing())
        fail("Cannot remove", pathOf(name));
}

void LockedFolder::rename(const QString& from, const QString& to) const
{
    if (!fs::replaceEntry(pathOf(from), pathOf(to)))
        fail("Cannot move into place", pathOf(to));
}

void LockedFolder::createEmpty(const QString& name) const
{
    if (!fs::createNew(pathOf(name)))
        fail("Cannot create", pathOf(name));
}

void LockedFolder::copyInto(const QString& from, const QString& name) const
{
    const UniqueFd in = fs::openForReading(from);
    if (!in)
        fail("Cannot read the file", from);
    const UniqueFd out = fs::createNew(pathOf(name));
    if (!out)
        fail("Cannot create", pathOf(name));
    std::vector<char> block(1 << 20);
    for (qint64 at = 0;;) {
        const qint64 got = fs::readAt(in, block.data(), qint64(block.size()), at);
        if (got < 0)
            fail("Cannot read the file", from);
        if (got == 0)
            break;
        if (!fs::writeAll(out, block.data(), got))
            fail("Cannot copy into", pathOf(name));
        at += got;
    }
    if (!fs::flushToDisk(out))
        fail("Cannot flush", pathOf(name));
}

void LockedFolder::flush() const
{
    // Every rename here is written through; Windows has no folder to flush.
}

void LockedFolder::moveFolderTo(const QString& target)
{
    m_lock.reset();
    m_folder.reset();
    if (!::MoveFileExW(fs::longPath(m_path).c_str(), fs::longPath(target).c_str(),
            MOVEFILE_WRITE_THROUGH))
        fail("Cannot move into place", target);
    m_path = target;
}

void LockedFolder::removeFolder()
{
    m_lock.reset();
    m_folder.reset();
    ::DeleteFileW(fs::longPath(pathOf(kLockFile)).c_str());
    ::RemoveDirectoryW(fs::longPath(m_path).c_str());
}

} // namespace PlatformSvcComm

#endif
