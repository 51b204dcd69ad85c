#include "TreeClearer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <QSet>
#else
#include <algorithm>
#include <memory>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Every level of the walk holds its folder open, so this bounds the
// descriptors one walk takes. A folder deeper than this is left as it is, with
// the folders above it, and so is one that cannot be opened because the
// process has run out of descriptors. No workspace comes near it: at 4096
// bytes, where tools working by path give up, a path this deep leaves 16 bytes
// a level.
constexpr int kMaxDepth = 256;

// Absolute, without "." or ".." components or a trailing separator. Like
// QDir, ".." is taken by the letter, not through a link.
QString cleanAbsolute(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

#ifdef Q_OS_WIN

// No descriptor-relative calls to build on here; the tree is walked by path.
namespace {

bool isRoot(const QString& folder)
{
    return QDir(folder).isRoot() || QDir(QFileInfo(folder).canonicalFilePath()).isRoot();
}

bool isLink(const QFileInfo& entry)
{
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    if (entry.isJunction())
        return true;
#endif
    return entry.isSymLink();
}

// True when the folder's last listing came back empty.
bool emptyByPath(const QString& folder, int depth)
{
    const QDir::Filters listedEntries = QDir::Dirs | QDir::Files | QDir::Hidden
        | QDir::NoDotAndDotDot | QDir::Readable | QDir::Writable;
    QSet<QString> failed;
    for (;;) {
        const QFileInfoList listed = QDir(folder).entryInfoList(listedEntries);
        if (listed.isEmpty())
            return true;
        bool tried = false;
        for (const QFileInfo& entry : listed) {
            if (failed.contains(entry.fileName()))
                continue;
            tried = true;
            const QString path = entry.filePath();
            bool removed = false;
            if (isLink(entry))
                removed = QFile::remove(path) || QDir().rmdir(path);
            else if (entry.isDir())
                removed = depth < kMaxDepth && emptyByPath(path, depth + 1) && QDir().rmdir(path);
            else
                removed = QFile::remove(path);
            if (!removed)
                failed.insert(entry.fileName());
        }
        if (!tried)
            return false; // only entries that would not go
    }
}

} // namespace

void TreeClearer::emptyFolder(const QString& path)
{
    const QString folder = cleanAbsolute(path);
    if (!path.isEmpty() && QFileInfo(folder).isDir() && !isRoot(folder))
        emptyByPath(folder, 0);
}

bool TreeClearer::removeFolder(const QString& path)
{
    const QString folder = cleanAbsolute(path);
    if (path.isEmpty() || !QFileInfo(folder).isDir())
        return true;
    if (isRoot(folder))
        return false;
    emptyByPath(folder, 0);
    return QDir().rmdir(folder);
}

#else

namespace {

// Owns a file descriptor; a negative one owns nothing.
class Fd
{
public:
    explicit Fd(int fd = -1) noexcept
        : m_fd(fd)
    {
    }
    Fd(Fd&& other) noexcept
        : m_fd(other.release())
    {
    }
    Fd& operator=(Fd&&) = delete;
    ~Fd()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    int get() const noexcept { return m_fd; }
    bool valid() const noexcept { return m_fd >= 0; }
    int release() noexcept { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

struct DirCloser
{
    void operator()(DIR* dir) const noexcept { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Takes over the descriptor of an open folder; null (and the descriptor
// closed) when no listing can be made from it.
DirHandle listingOf(Fd folder)
{
    DirHandle dir(fdopendir(folder.get()));
    if (dir)
        folder.release();
    return dir;
}

bool isAscii(const std::string& text)
{
    return std::all_of(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// QDir::Name order: the names as QString, compared by UTF-16 code unit. For
// ASCII names that is plain byte order, which spares decoding every name.
template <class Item> void sortByName(std::vector<Item>& items)
{
    const bool ascii = std::all_of(
        items.begin(), items.end(), [](const Item& item) { return isAscii(item.name); });
    if (ascii) {
        std::sort(items.begin(), items.end(),
            [](const Item& a, const Item& b) { return a.name < b.name; });
        return;
    }
    std::vector<std::pair<QString, Item>> keyed;
    keyed.reserve(items.size());
    for (Item& item : items)
        keyed.emplace_back(QFile::decodeName(item.name.c_str()), std::move(item));
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        return QString::compare(a.first, b.first, Qt::CaseSensitive) < 0;
    });
    for (std::size_t i = 0; i < items.size(); ++i)
        items[i] = std::move(keyed[i].second);
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The folder above the one to remove is only searched, never listed, and
// O_PATH asks no read permission for that, as removing by path would not.
#ifdef O_PATH
constexpr int kSearchOnly = O_PATH;
#else
constexpr int kSearchOnly = O_RDONLY;
#endif

bool mayTouch(int folder, const char* name)
{
    // Follows a link, as QFileInfo's permission test does, which also leaves
    // out broken ones.
    return faccessat(folder, name, R_OK | W_OK, 0) == 0;
}

class Walk
{
public:
    explicit Walk(const struct stat& root)
        : m_root(root)
    {
    }

    // True when the folder's last listing came back empty.
    bool empty(DIR* dir, int depth)
    {
        const int folder = dirfd(dir);
        std::unordered_set<std::string> failed;
        std::vector<Listed> listed;
        for (;;) {
            if (!list(dir, failed, listed))
                return true;
            if (listed.empty())
                return false; // only entries that would not go
            // Entries go from the last name to the first, as they always
            // have: a link to a file elsewhere in the tree is broken once
            // that file is gone and is then left as any broken link is, so
            // the order decides which such links stay.
            sortByName(listed);
            for (auto entry = listed.crbegin(); entry != listed.crend(); ++entry) {
                if (!remove(folder, *entry, depth))
                    failed.insert(entry->name);
            }
        }
    }

private:
    struct Listed
    {
        std::string name;
        bool isFolder;
    };

    // Collects the entries the walk may touch, except those in `skipped`.
    // False when there are none at all, skipped ones included.
    static bool list(
        DIR* dir, const std::unordered_set<std::string>& skipped, std::vector<Listed>& listed)
    {
        listed.clear();
        rewinddir(dir);
        const int folder = dirfd(dir);
        bool any = false;
        while (const dirent* entry = readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN) {
                struct stat status;
                if (fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                type = S_ISDIR(status.st_mode) ? DT_DIR
                    : S_ISREG(status.st_mode)  ? DT_REG
                    : S_ISLNK(status.st_mode)  ? DT_LNK
                                               : DT_UNKNOWN;
            }
            if ((type != DT_DIR && type != DT_REG && type != DT_LNK) || !mayTouch(folder, name))
                continue;
            any = true;
            if (skipped.empty() || skipped.count(name) == 0)
                listed.push_back(Listed { name, type == DT_DIR });
        }
        return any;
    }

    bool remove(int folder, const Listed& entry, int depth)
    {
        const char* name = entry.name.c_str();
        if (!entry.isFolder)
            return unlinkat(folder, name, 0) == 0;
        if (depth >= kMaxDepth)
            return false;
        Fd inner(openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!inner.valid())
            return (errno == ELOOP || errno == ENOTDIR) && removeReplaced(folder, name);
        struct stat status;
        if (fstat(inner.get(), &status) != 0 || sameFile(status, m_root))
            return false;
        const DirHandle dir = listingOf(std::move(inner));
        if (!dir || !empty(dir.get(), depth + 1))
            return false;
        return unlinkat(folder, name, AT_REMOVEDIR) == 0;
    }

    // The entry was listed as a folder and is something else by now: it goes
    // if the listing would have shown it as such, and a link is not followed.
    static bool removeReplaced(int folder, const char* name)
    {
        struct stat status;
        return fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0
            && (S_ISLNK(status.st_mode) || S_ISREG(status.st_mode)) && mayTouch(folder, name)
            && unlinkat(folder, name, 0) == 0;
    }

    const struct stat m_root;
};

// Empties the open folder unless it is the file-system root; false when it
// was refused.
bool emptyOpen(Fd folder)
{
    struct stat own;
    struct stat root;
    if (fstat(folder.get(), &own) != 0 || stat("/", &root) != 0 || sameFile(own, root))
        return false;
    if (const DirHandle dir = listingOf(std::move(folder)))
        Walk(root).empty(dir.get(), 0);
    return true;
}

} // namespace

// The folder given is opened without O_NOFOLLOW: a link given as the path
// names the folder to empty.

void TreeClearer::emptyFolder(const QString& path)
{
    if (path.isEmpty())
        return;
    Fd folder(open(
        QFile::encodeName(cleanAbsolute(path)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid())
        emptyOpen(std::move(folder));
}

bool TreeClearer::removeFolder(const QString& path)
{
    if (path.isEmpty())
        return true;
    const QByteArray folderPath = QFile::encodeName(cleanAbsolute(path));
    const int slash = folderPath.lastIndexOf('/');
    const QByteArray name = folderPath.mid(slash + 1);
    if (name.isEmpty())
        return false; // the root, which is always there
    const QByteArray parentPath = slash == 0 ? QByteArray("/") : folderPath.left(slash);
    const Fd parent(open(parentPath.constData(), kSearchOnly | O_DIRECTORY | O_CLOEXEC));
    if (!parent.valid()) {
        struct stat status;
        return stat(folderPath.constData(), &status) != 0 || !S_ISDIR(status.st_mode);
    }

    Fd folder(openat(parent.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid()) {
        if (!emptyOpen(std::move(folder)))
            return false;
    } else if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) {
        return true; // no folder there
    }
    // A folder that could not be opened may still go when it is empty. When
    // the path is a link, this fails and the link stays, as documented.
    return unlinkat(parent.get(), name.constData(), AT_REMOVEDIR) == 0 || errno == ENOENT;
}

#endif
