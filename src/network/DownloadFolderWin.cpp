#ifdef _WIN32

#include "DownloadFolder.h"

#include "FileName.h"

#include <bimcore/storage/fs/FileIo.h>

#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <memory>
#include <type_traits>
#include <vector>

namespace network_detail {

namespace {

// A QString is UTF-16, as are Windows' wide calls.
const wchar_t* wide(const QString& text)
{
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

QString entryIn(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('\\')) ? folder + name : folder + QLatin1Char('\\') + name;
}

// The path the system itself gives the open folder: links and junctions on
// the way are resolved once, here, and later paths start from what they led
// to.
QString finalPathOf(HANDLE folder, const QString& fallback)
{
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(
            folder, path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return fallback;
        if (length < path.size())
            return QString::fromWCharArray(path.data(), int(length));
        path.resize(length);
    }
}

// Folders are opened without sharing their deletion: while the download
// holds one, it cannot be renamed or swapped, so every path that goes
// through it names what was opened.
UniqueFd openFolder(const QString& path, DWORD access, DWORD flags)
{
    UniqueFd folder(
        ::CreateFileW(wide(path), GENERIC_READ | access, FILE_SHARE_READ | FILE_SHARE_WRITE,
            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
    BY_HANDLE_FILE_INFORMATION info {};
    if (folder
        && (!::GetFileInformationByHandle(folder.get(), &info)
            || (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
                != FILE_ATTRIBUTE_DIRECTORY))
        folder.reset();
    return folder;
}

// A plain file, not a link, a junction or a folder; with `onlyName`, one
// that no other name reaches either.
bool isPlainFile(const UniqueFd& file, bool onlyName)
{
    BY_HANDLE_FILE_INFORMATION info {};
    return ::GetFileInformationByHandle(file.get(), &info)
        && !(info.dwFileAttributes
            & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
        && (!onlyName || info.nNumberOfLinks == 1);
}

bool sameFile(const UniqueFd& one, const UniqueFd& other)
{
    BY_HANDLE_FILE_INFORMATION a {};
    BY_HANDLE_FILE_INFORMATION b {};
    return ::GetFileInformationByHandle(one.get(), &a)
        && ::GetFileInformationByHandle(other.get(), &b)
        && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh
        && a.nFileIndexLow == b.nFileIndexLow;
}

constexpr int kLockTries = 100;

qint64 ticksOf(const FILETIME& time)
{
    return qint64((quint64(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

constexpr qint64 kTicksPerSecond = 10000000; // FILETIME counts 100 ns
// Waits of 1, 2, 4 ... ms up to this, about a tenth of a second in all.
constexpr DWORD kLongestMoveWaitMs = 64;

// What a user sets on a file and expects an updated file to keep, as the
// POSIX half keeps the mode bits. Others belong to the file system (the
// archive bit must stay set on a new file, so that backups take it).
constexpr DWORD kKeptAttributes
    = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

struct FindCloser
{
    void operator()(HANDLE find) const { ::FindClose(find); }
};
using UniqueFind = std::unique_ptr<std::remove_pointer_t<HANDLE>, FindCloser>;

} // namespace

DownloadFolder::DownloadFolder(const QString& prefix)
    : m_prefix(prefix)
{
    // The prefix need not end in a separator: what follows its last one
    // begins the target's name.
    const QFileInfo target(prefix + QLatin1Char('x'));
    m_stemOfName = target.fileName().chopped(1);
    // "\\?\" paths: no length limit, and the names checked are the names used.
    const QString path = QString::fromStdWString(fs::longPath(target.absolutePath()));
    m_dir = openFolder(path, 0, 0);
    if (m_dir)
        m_path = finalPathOf(m_dir.get(), path);
}

bool DownloadFolder::openBookkeeping()
{
    m_bookkeeping.reset();
    const QString path = entryIn(m_path, kBookkeepingFolder);
    const bool made = ::CreateDirectoryW(wide(path), nullptr);
    if (!made && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    m_bookkeeping = openFolder(path, FILE_WRITE_ATTRIBUTES, FILE_FLAG_OPEN_REPARSE_POINT);
    // A leading dot hides nothing on Windows.
    if (made && m_bookkeeping) {
        FILE_BASIC_INFO info {};
        info.FileAttributes = FILE_ATTRIBUTE_HIDDEN;
        ::SetFileInformationByHandle(m_bookkeeping.get(), FileBasicInfo, &info, sizeof info);
    }
    return m_bookkeeping.valid();
}

void DownloadFolder::closeBookkeeping()
{
    if (!m_bookkeeping)
        return;
    m_bookkeeping.reset();
    ::RemoveDirectoryW(wide(entryIn(m_path, kBookkeepingFolder)));
}

QString DownloadFolder::bookkeepingEntry(const QString& name) const
{
    return entryIn(entryIn(m_path, kBookkeepingFolder), name);
}

UniqueFd DownloadFolder::lock(const QString& stem) const
{
    const QString path = bookkeepingEntry(stem + QStringLiteral(".lock"));
    // Each new try follows a removal by another download, which ends.
    for (int tries = 0; tries < kLockTries; ++tries) {
        // Shared with the other downloads that try the lock, and with removal
        // while held: the lock, not the sharing, keeps them out. A name whose
        // removal waits for its last handle opens to none: access denied.
        UniqueFd file(::CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        OVERLAPPED whole {};
        if (!file || !isPlainFile(file, false)
            || !::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                MAXDWORD, MAXDWORD, &whole))
            return UniqueFd();
        // The name still leads to the file locked: one removed meanwhile
        // opens to none, or to the file made since.
        const UniqueFd named(::CreateFileW(wide(path), FILE_READ_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (named && sameFile(file, named))
            return file;
    }
    return UniqueFd();
}

UniqueFd DownloadFolder::openFile(const QString& name, bool create) const
{
    const QString path = bookkeepingEntry(name);
    if (create)
        ::DeleteFileW(wide(path));
    // Only deletion is shared: a part and a record are moved into place
    // while still open.
    UniqueFd file(::CreateFileW(wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE,
        nullptr, create ? CREATE_NEW : OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file && !isPlainFile(file, true))
        file.reset();
    return file;
}

std::optional<QByteArray> DownloadFolder::readFile(const QString& name, qint64 largest) const
{
    const UniqueFd file = openFile(name, false);
    const qint64 size = file ? sizeOf(file) : -1;
    if (size < 0 || size > largest)
        return std::nullopt;
    QByteArray content(int(size), Qt::Uninitialized);
    if (readAt(file, content.data(), size, 0) != size)
        return std::nullopt;
    return content;
}

bool DownloadFolder::replaceFile(const QString& name, const QByteArray& content) const
{
    const QString temporary = name + QStringLiteral(".new");
    const UniqueFd file = openFile(temporary, true);
    const bool written = file && writeAll(file, content.constData(), content.size())
        && flushToDisk(file)
        && ::MoveFileExW(wide(bookkeepingEntry(temporary)), wide(bookkeepingEntry(name)),
            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!written)
        remove(temporary);
    return written;
}

void DownloadFolder::remove(const QString& name) const
{
    ::DeleteFileW(wide(bookkeepingEntry(name)));
}

qint64 DownloadFolder::ageOf(const QString& name) const
{
    // The entry's own times, a link's too: it is not followed.
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!::GetFileAttributesExW(wide(bookkeepingEntry(name)), GetFileExInfoStandard, &data))
        return -1;
    FILETIME now {};
    ::GetSystemTimeAsFileTime(&now);
    // A file written a moment ago may carry a time a tick ahead of the clock.
    return std::max<qint64>(0, (ticksOf(now) - ticksOf(data.ftLastWriteTime)) / kTicksPerSecond);
}

QStringList DownloadFolder::filesEndingWith(const QString& ending) const
{
    QStringList found;
    // A listing of its own each time: Wine answers a folder handle's later
    // listings, restarted or not, from what it read the first time.
    WIN32_FIND_DATAW data {};
    const UniqueFind find(::FindFirstFileExW(wide(bookkeepingEntry(QStringLiteral("*"))),
        FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (find.get() == INVALID_HANDLE_VALUE)
        return found;
    do {
        const QString name = QString::fromWCharArray(data.cFileName);
        if (name.endsWith(ending))
            found.append(name);
    } while (::FindNextFileW(find.get(), &data));
    return found;
}

DownloadFolder::Target DownloadFolder::target(const QString& lastPart, unsigned* mode) const
{
    // The entry itself, a link's or a junction's own data.
    WIN32_FIND_DATAW data {};
    const UniqueFind find(::FindFirstFileExW(wide(entryIn(m_path, lastPart)), FindExInfoBasic,
        &data, FindExSearchNameMatch, nullptr, 0));
    if (find.get() == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_FILE_NOT_FOUND ? Target::Missing : Target::Refused;
    // A short 8.3 name reaches the file that has it under another name,
    // which the download must not replace.
    if (lastPart.compare(QString::fromWCharArray(data.cFileName), Qt::CaseInsensitive) != 0)
        return Target::Refused;
    // A file cannot take a folder's place, nor a junction's, in one step.
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Target::Refused;
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
        return Target::Other;
    *mode = data.dwFileAttributes & kKeptAttributes;
    // The read-only attribute is the user's "do not write this" on Windows.
    return data.dwFileAttributes & FILE_ATTRIBUTE_READONLY ? Target::Refused : Target::Writable;
}

bool DownloadFolder::moveOver(const QString& from, const QString& lastPart) const
{
    // One rename: a target that another program holds open without sharing
    // its deletion makes it fail, and is left as it was. Another download of
    // the same file holds it too, from its own move until it closes the file
    // at once: short waits let that pass.
    for (DWORD waitMs = 1;; waitMs *= 2) {
        if (::MoveFileExW(wide(bookkeepingEntry(from)), wide(entryIn(m_path, lastPart)),
                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = ::GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            || waitMs > kLongestMoveWaitMs)
            return false;
        ::Sleep(waitMs);
    }
}


// Windows has no permission bits: `mode` holds the attributes target()
// found on the file replaced (read-only, hidden, system), which the new file
// keeps as a POSIX one keeps the mode. Only those are changed; times and the
// rest stay as the file system keeps them.
bool nameFitsFileSystem(const QString& lastPart)
{
    return lastPart.size() <= 255; // UTF-16 units, as NTFS counts them
}

qint64 fileSizeLimit()
{
    return -1; // Windows sets processes no such limit
}

bool setMode(const UniqueFd& file, unsigned mode)
{
    FILE_BASIC_INFO info {};
    if (!::GetFileInformationByHandleEx(file.get(), FileBasicInfo, &info, sizeof info))
        return false;
    const DWORD attributes = (info.FileAttributes & ~kKeptAttributes) | (mode & kKeptAttributes);
    info = FILE_BASIC_INFO {};
    info.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(file.get(), FileBasicInfo, &info, sizeof info);
}


bool cutTo(const UniqueFd& file, qint64 size)
{
    LARGE_INTEGER at {};
    at.QuadPart = size;
    return ::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get());
}

} // namespace network_detail

#endif
