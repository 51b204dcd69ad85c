#ifdef _WIN32

#include "TreeWalk.h"
#include "WalkOrder.h"

#include <winternl.h>

#include <QDir>

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace fs {
namespace {

// FileDispositionInfoEx, from Windows 10 on; MinGW's headers declare it only
// for a _WIN32_WINNT no build sets.
constexpr auto kDispositionEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);

// Others may read, change, move and remove what the walk holds open, as they
// may on POSIX.
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool isLink(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// INVALID_FILE_ATTRIBUTES has every bit set, a reparse point's included: no folder.
bool isFolder(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !isLink(attributes);
}

UniqueFd openAt(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG options)
{
    constexpr std::size_t kLongest = 0x7fff; // characters a UNICODE_STRING holds
    if (name.size() > kLongest) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return UniqueFd();
    }
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    // A path is matched as Windows matches paths; a name the walk listed is
    // matched exactly, which tells "a" from "A" in a case-sensitive folder.
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &text, folder ? 0 : OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE entry = nullptr;
    const NTSTATUS status
        = NtCreateFile(&entry, access | SYNCHRONIZE, &object, &io, nullptr, 0, kShareAll, FILE_OPEN,
            options | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (!NT_SUCCESS(status)) {
        SetLastError(RtlNtStatusToDosError(status));
        return UniqueFd();
    }
    return UniqueFd(entry);
}

DWORD attributesOf(HANDLE entry)
{
    FILE_BASIC_INFO basic;
    return GetFileInformationByHandleEx(entry, FileBasicInfo, &basic, sizeof basic)
        ? basic.FileAttributes
        : INVALID_FILE_ATTRIBUTES;
}

// The test a listing of readable and writable entries makes; a link is
// followed, as QFileInfo's is, which also leaves out broken ones.
bool mayTouch(HANDLE folder, const std::wstring& name, DWORD attributes)
{
    if (isLink(attributes))
        attributes = attributesAt(folder, name, Link::Followed);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY);
}

// Marks the open entry for deletion. Where Windows and the file system can,
// its name goes at once, even while others hold it open. Elsewhere it goes
// with the last handle, and a read-only entry has its attribute cleared
// first, given back should it stay.
bool deleteOpen(HANDLE entry, bool evenReadOnly)
{
    FILE_DISPOSITION_INFO_EX now;
    now.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS
        | (evenReadOnly ? FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE : 0);
    if (SetFileInformationByHandle(entry, kDispositionEx, &now, sizeof now))
        return true;
    const DWORD error = GetLastError();
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_INVALID_FUNCTION
        && error != ERROR_NOT_SUPPORTED)
        return false;
    FILE_BASIC_INFO was {}; // times left at zero are left as they are
    const bool readOnly = evenReadOnly
        && GetFileInformationByHandleEx(entry, FileBasicInfo, &was, sizeof was)
        && (was.FileAttributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly) {
        FILE_BASIC_INFO writable {};
        writable.FileAttributes = was.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
        if (writable.FileAttributes == 0) // 0 would leave the attributes alone
            writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (!SetFileInformationByHandle(entry, FileBasicInfo, &writable, sizeof writable))
            return false;
    }
    FILE_DISPOSITION_INFO onClose { TRUE };
    if (SetFileInformationByHandle(entry, FileDispositionInfo, &onClose, sizeof onClose))
        return true;
    if (readOnly) {
        FILE_BASIC_INFO back {};
        back.FileAttributes = was.FileAttributes;
        SetFileInformationByHandle(entry, FileBasicInfo, &back, sizeof back);
    }
    return false;
}

// A string a call fills in, asking for more room when it needs it; empty when
// the call fails.
template <typename Fill> std::wstring filled(Fill fill)
{
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = fill(&text[0], static_cast<DWORD>(text.size()));
        const bool fits = size < text.size();
        text.resize(size);
        if (fits)
            return text;
    }
}

// Whether the open folder is the root of a drive or of a network share. Its
// path is asked of Windows rather than taken from the caller: "C:\Windows\..",
// a link or a second name of the drive may lead there too.
bool isRoot(HANDLE folder)
{
    const std::wstring path = filled([folder](wchar_t* text, DWORD size) {
        return GetFinalPathNameByHandleW(folder, text, size, VOLUME_NAME_DOS);
    });
    if (!path.empty())
        return namesRoot(path);
    // A volume no letter names, or under Wine a path longer than MAX_PATH:
    // the folder's place within its volume then, "\" for the root. A folder
    // whose place cannot be told is taken for a root.
    std::vector<LONGLONG> buffer(1 + (sizeof(FILE_NAME_INFO) + 0x10000) / sizeof(LONGLONG));
    const auto* name = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
    return !GetFileInformationByHandleEx(folder, FileNameInfo, buffer.data(),
               static_cast<DWORD>(buffer.size() * sizeof(LONGLONG)))
        || std::wstring_view(name->FileName, name->FileNameLength / sizeof(wchar_t))
               .find_first_not_of(L'\\')
        == std::wstring_view::npos;
}

struct Entry
{
    std::wstring name;
    DWORD attributes;
};

// One folder on the way down, held open until the walk leaves it.
//
// An entry is tried once. Windows may report a removal that has not happened
// yet (a name whose deletion waits for another program's handle), and Wine
// one that never will (a name whose Linux path is longer than Linux takes):
// an entry listed again after its turn would not go, whatever was reported.
struct Level
{
    UniqueFd folder;
    std::wstring name; // in the folder above
    std::vector<Entry> pending; // to remove in this pass, the next at the back
    std::unordered_set<std::wstring> tried;
};

class Walk
{
public:
    explicit Walk(Listed listed)
        : m_listed(listed)
        , m_buffer(8192)
    {
    }

    Walked run(UniqueFd start)
    {
        m_levels.push_back(Level { std::move(start), {}, {}, {} });
        return walkInOrder(*this, m_levels);
    }

private:
    template <class W, class L> friend Walked fs::walkInOrder(W&, L&);

    // Reads the folder's entries from its first on, "." and ".." left out;
    // false when they cannot be read to the end.
    bool read(HANDLE folder, std::vector<Entry>& entries)
    {
        const DWORD bytes = static_cast<DWORD>(m_buffer.size() * sizeof m_buffer[0]);
        FILE_INFO_BY_HANDLE_CLASS part = FileFullDirectoryRestartInfo;
        while (GetFileInformationByHandleEx(folder, part, m_buffer.data(), bytes)) {
            part = FileFullDirectoryInfo;
            for (const char* at = reinterpret_cast<const char*>(m_buffer.data());;) {
                const auto* found = reinterpret_cast<const FILE_FULL_DIR_INFO*>(at);
                std::wstring name(found->FileName, found->FileNameLength / sizeof(wchar_t));
                if (name != L"." && name != L"..")
                    entries.push_back(Entry { std::move(name), found->FileAttributes });
                if (found->NextEntryOffset == 0)
                    break;
                at += found->NextEntryOffset;
            }
        }
        const DWORD error = GetLastError();
        return error == ERROR_NO_MORE_FILES || error == ERROR_FILE_NOT_FOUND;
    }

    // Fills the level's pending entries with those listed, except ones tried
    // before. False when there are none at all, tried ones included; a folder
    // that cannot be read to the end is not taken for empty.
    bool list(Level& level)
    {
        std::vector<Entry> entries;
        bool any = !read(level.folder.get(), entries);
        for (Entry& entry : entries) {
            if (m_listed == Listed::ReadableAndWritable
                && !mayTouch(level.folder.get(), entry.name, entry.attributes))
                continue;
            any = true;
            if (level.tried.insert(entry.name).second)
                level.pending.push_back(std::move(entry));
        }
        if (m_listed == Listed::ReadableAndWritable) {
            // From the last name to the first, as on POSIX (see
            // FolderListing.cpp), by UTF-16 code unit as QString compares.
            std::sort(level.pending.begin(), level.pending.end(),
                [](const Entry& a, const Entry& b) { return a.name < b.name; });
        }
        return any;
    }

    // Removes an entry of the deepest level, or enters it when it is a
    // folder.
    void remove(const Entry& entry)
    {
        const HANDLE folder = m_levels.back().folder.get();
        if (isFolder(entry.attributes)) {
            if (UniqueFd inner = openFolder(folder, entry.name, Link::Itself)) {
                m_levels.push_back(Level { std::move(inner), entry.name, {}, {} });
                return;
            }
            const DWORD now = attributesAt(folder, entry.name, Link::Itself);
            // It cannot be listed, but it goes if it is empty.
            if (isFolder(now)) {
                removeAt(folder, entry.name, m_listed, true);
                return;
            }
            // Something else by now: it goes as what it is, a link as a link,
            // if the listing would have shown it so.
            if (now == INVALID_FILE_ATTRIBUTES
                || (m_listed == Listed::ReadableAndWritable && !mayTouch(folder, entry.name, now)))
                return;
        }
        removeAt(folder, entry.name, m_listed, false);
    }

    // Done with the deepest level: its folder is closed, and removed from the
    // one above when `emptied`.
    bool leave(bool emptied)
    {
        const std::wstring name = std::move(m_levels.back().name);
        m_levels.pop_back();
        if (emptied)
            removeAt(m_levels.back().folder.get(), name, m_listed, true);
        return true; // the folder above is held open all along
    }

    const Listed m_listed;
    std::vector<LONGLONG> m_buffer; // for listings, aligned as they need
    std::vector<Level> m_levels;
};

} // namespace

std::wstring ntPath(const QString& path)
{
    QString given = QDir::toNativeSeparators(path);
    // "C:\" names the drive's root; "C:" would name the current folder on it.
    while (given.size() > 1 && given.endsWith(QLatin1Char('\\'))
        && !given.endsWith(QLatin1String(":\\")))
        given.chop(1);
    const std::wstring relative = given.toStdWString();
    const std::wstring full = filled([&relative](wchar_t* text, DWORD size) {
        return GetFullPathNameW(relative.c_str(), size, text, nullptr);
    });
    if (full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0)
        return L"\\??\\" + full.substr(4);
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\??\\UNC\\" + full.substr(2);
    return full.empty() ? full : L"\\??\\" + full;
}

UniqueFd openFolder(HANDLE folder, const std::wstring& name, Link link)
{
    const bool itself = link == Link::Itself;
    UniqueFd opened = openAt(folder, name, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
        FILE_DIRECTORY_FILE | (itself ? FILE_OPEN_REPARSE_POINT : 0));
    if (opened && itself && !isFolder(attributesOf(opened.get()))) {
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return UniqueFd();
    }
    return opened;
}

DWORD attributesAt(HANDLE folder, const std::wstring& name, Link link)
{
    const UniqueFd entry = openAt(
        folder, name, FILE_READ_ATTRIBUTES, link == Link::Itself ? FILE_OPEN_REPARSE_POINT : 0);
    return entry ? attributesOf(entry.get()) : INVALID_FILE_ATTRIBUTES;
}

bool removeAt(HANDLE folder, const std::wstring& name, Listed listed, bool folderOnly)
{
    const bool evenReadOnly = listed == Listed::Everything;
    const UniqueFd entry = openAt(folder, name,
        DELETE | FILE_READ_ATTRIBUTES | (evenReadOnly ? FILE_WRITE_ATTRIBUTES : 0),
        FILE_OPEN_REPARSE_POINT | (folderOnly ? FILE_DIRECTORY_FILE : 0));
    if (!entry)
        return false;
    if (folderOnly && !isFolder(attributesOf(entry.get()))) {
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    return deleteOpen(entry.get(), evenReadOnly);
}

bool namesRoot(const std::wstring& path)
{
    const std::wstring_view prefix = std::wstring_view(path).substr(0, 4);
    if (prefix != L"\\\\?\\" && prefix != L"\\??\\")
        return false;
    std::wstring_view rest = std::wstring_view(path).substr(4);
    std::size_t rootParts = 1; // "C:"
    if (rest.substr(0, 4) == L"UNC\\") {
        rest.remove_prefix(4);
        rootParts = 2; // "server\share"
    }
    std::size_t parts = 0;
    for (std::size_t i = 0; i < rest.size(); ++i)
        parts += rest[i] != L'\\' && (i == 0 || rest[i - 1] == L'\\');
    return parts <= rootParts;
}

bool isGone(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

Walked emptyTree(UniqueFd folder, Listed listed)
{
    if (!folder)
        return Walked::Remains;
    if (isRoot(folder.get()))
        return Walked::Refused;
    return Walk(listed).run(std::move(folder));
}

void emptyFolderAt(const QString& path)
{
    if (path.isEmpty())
        return;
    const std::wstring folderPath = ntPath(path);
    if (namesRoot(folderPath))
        return;
    UniqueFd folder = openFolder(nullptr, folderPath, Link::Followed);
    if (folder)
        emptyTree(std::move(folder), Listed::ReadableAndWritable);
}

bool removeFolderAt(const QString& path)
{
    if (path.isEmpty())
        return true;
    const std::wstring folderPath = ntPath(path);
    if (namesRoot(folderPath))
        return false; // the root, which is always there
    UniqueFd folder = openFolder(nullptr, folderPath, Link::Followed);
    if (!folder) {
        // What QDir sees: nothing also when the folder cannot be reached.
        const DWORD attributes = attributesAt(nullptr, folderPath, Link::Followed);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return true;
    } else if (emptyTree(std::move(folder), Listed::ReadableAndWritable)
        == Walked::Refused) {
        return false;
    }
    // QDir's rmdir refuses a path ending in "." or "..", which Windows would
    // drop and so remove the folder the path leads to.
    const QString last = QDir::fromNativeSeparators(path).section(
        QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
    if (last == QLatin1String(".") || last == QLatin1String(".."))
        return false;
    // A folder that could not be opened may still go when it is empty. When
    // the path is a link, this fails and the link stays, as documented.
    return removeAt(nullptr, folderPath, Listed::ReadableAndWritable, true)
        || isGone(GetLastError());
}

} // namespace fs

#endif
