#ifdef _WIN32

#include "Folder.h"

#include "FileIo.h"

#include <QFileInfo>

#include <algorithm>
#include <memory>
#include <type_traits>
#include <vector>

namespace fs {

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

// Links and junctions on the way are resolved once, here.
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

// Not sharing deletion: while held, the folder cannot be renamed or swapped,
// so every path through it names what was opened.
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
constexpr qint64 kTicksPerSecond = 10000000; // FILETIME counts 100 ns
// Waits of 1, 2, 4 ... ms up to this, about a tenth of a second in all.
constexpr DWORD kLongestMoveWaitMs = 64;
// What a user sets on a file and expects an updated one to keep, as the mode
// bits on POSIX; the archive bit must stay set on a new file for backups.
constexpr DWORD kKeptAttributes
    = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

qint64 ticksOf(const FILETIME& time)
{
    return qint64((quint64(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

struct FindCloser
{
    void operator()(HANDLE find) const { ::FindClose(find); }
};
using UniqueFind = std::unique_ptr<std::remove_pointer_t<HANDLE>, FindCloser>;

} // namespace

Folder::Folder(const QString& path)
{
    // "\\?\" paths: no length limit, and the names checked are the names used.
    const QString full = QString::fromStdWString(longPath(path));
    m_handle = openFolder(full, 0, 0);
    if (m_handle)
        m_path = finalPathOf(m_handle.get(), full);
}

QString Folder::entryPath(const QString& name) const
{
    return entryIn(m_path, name);
}

Folder Folder::subFolder(const QString& name) const
{
    Folder sub;
    sub.m_path = entryPath(name);
    const bool made = ::CreateDirectoryW(wide(sub.m_path), nullptr);
    if (!made && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return sub;
    sub.m_handle = openFolder(sub.m_path, FILE_WRITE_ATTRIBUTES, FILE_FLAG_OPEN_REPARSE_POINT);
    // A leading dot hides nothing on Windows.
    if (made && sub.m_handle) {
        FILE_BASIC_INFO info {};
        info.FileAttributes = FILE_ATTRIBUTE_HIDDEN;
        ::SetFileInformationByHandle(sub.m_handle.get(), FileBasicInfo, &info, sizeof info);
    }
    return sub;
}

void Folder::removeSubFolder(const QString& name) const
{
    ::RemoveDirectoryW(wide(entryPath(name)));
}

UniqueFd Folder::lock(const QString& name) const
{
    const QString path = entryPath(name);
    for (int tries = 0; tries < kLockTries; ++tries) {
        // Shared with the others that try it, and with removal while held:
        // the lock keeps them out. A name whose removal waits for its last
        // handle opens to none: access denied.
        UniqueFd file(::CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        OVERLAPPED whole {};
        if (!file || !isPlainFile(file, false)
            || !::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                MAXDWORD, MAXDWORD, &whole))
            return UniqueFd();
        const UniqueFd named(::CreateFileW(wide(path), FILE_READ_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (named && sameFile(file, named))
            return file;
    }
    return UniqueFd();
}

UniqueFd Folder::openFile(const QString& name, bool create) const
{
    const QString path = entryPath(name);
    if (create)
        ::DeleteFileW(wide(path));
    // Only deletion is shared: files are moved into place while still open.
    UniqueFd file(::CreateFileW(wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE,
        nullptr, create ? CREATE_NEW : OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file && !isPlainFile(file, true))
        file.reset();
    return file;
}

bool Folder::replaceFile(const QString& name, const QByteArray& content) const
{
    const QString temporary = name + QStringLiteral(".new");
    const UniqueFd file = openFile(temporary, true);
    const bool written = file && writeAll(file, content.constData(), content.size())
        && flushToDisk(file)
        && ::MoveFileExW(wide(entryPath(temporary)), wide(entryPath(name)),
            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!written)
        remove(temporary);
    return written;
}

void Folder::remove(const QString& name) const
{
    ::DeleteFileW(wide(entryPath(name)));
}

qint64 Folder::ageOf(const QString& name) const
{
    // The entry's own times, a link's too.
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!::GetFileAttributesExW(wide(entryPath(name)), GetFileExInfoStandard, &data))
        return -1;
    FILETIME now {};
    ::GetSystemTimeAsFileTime(&now);
    return std::max<qint64>(0, (ticksOf(now) - ticksOf(data.ftLastWriteTime)) / kTicksPerSecond);
}

QStringList Folder::filesEndingWith(const QString& ending) const
{
    QStringList found;
    // A listing of its own each time: Wine answers a folder handle's later
    // listings from what it read the first time.
    WIN32_FIND_DATAW data {};
    const UniqueFind find(::FindFirstFileExW(wide(entryPath(QStringLiteral("*"))), FindExInfoBasic,
        &data, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (find.get() == INVALID_HANDLE_VALUE)
        return found;
    do {
        const QString name = QString::fromWCharArray(data.cFileName);
        if (name.endsWith(ending))
            found.append(name);
    } while (::FindNextFileW(find.get(), &data));
    return found;
}

Folder::Entry Folder::entry(const QString& name, unsigned* mode) const
{
    WIN32_FIND_DATAW data {};
    const UniqueFind find(::FindFirstFileExW(
        wide(entryPath(name)), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    if (find.get() == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_FILE_NOT_FOUND ? Entry::Missing : Entry::Refused;
    // A short 8.3 name reaches a file that has it under another name.
    if (name.compare(QString::fromWCharArray(data.cFileName), Qt::CaseInsensitive) != 0)
        return Entry::Refused;
    // A file cannot take a folder's place, nor a junction's, in one step.
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Entry::Refused;
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
        return Entry::Other;
    *mode = data.dwFileAttributes & kKeptAttributes;
    // The read-only attribute is the user's "do not write this" on Windows.
    return data.dwFileAttributes & FILE_ATTRIBUTE_READONLY ? Entry::Refused : Entry::Writable;
}

bool Folder::moveInto(const QString& from, const Folder& into, const QString& to) const
{
    // A target another program holds open without sharing its deletion makes
    // the move fail, and stays whole. Another mover holds it only from its
    // own move until it closes the file: short waits let that pass.
    for (DWORD waitMs = 1;; waitMs *= 2) {
        if (::MoveFileExW(wide(entryPath(from)), wide(into.entryPath(to)),
                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = ::GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            || waitMs > kLongestMoveWaitMs)
            return false;
        ::Sleep(waitMs);
    }
}

bool nameFits(const QString& name)
{
    return name.size() <= 255; // UTF-16 units, as NTFS counts them
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
    // Zero times leave the file's times as they are.
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

} // namespace fs

#endif
