#ifndef _WIN32

#include "TreeWalk.h"
#include "WalkOrder.h"

#include "DirHandle.h"
#include "FolderListing.h"
#include "PathEnd.h"

#include <QFile>

#include <algorithm>
#include <cstdint>
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

namespace fs {
namespace {

// Folder descriptors one walk holds open at most. Trees are rarely deeper, so
// the climb through ".." is seldom needed; a deep one costs a reopening per
// level on the way back up.
constexpr std::size_t kOpenFolders = 8;

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The mount an open folder is reached through: a folder bound into the tree
// from the same file system has the tree's device, and only this tells it.
// 0 when the system says neither way; the device alone decides then.
std::uint64_t mountOf(int folder)
{
    struct statx status;
    if (statx(folder, "", AT_EMPTY_PATH, STATX_MNT_ID, &status) == 0
        && (status.stx_mask & STATX_MNT_ID))
        return status.stx_mnt_id;
    // Kernels before 5.8 give the mount with a file handle.
    alignas(file_handle) unsigned char buffer[sizeof(file_handle) + MAX_HANDLE_SZ];
    auto* handle = reinterpret_cast<file_handle*>(buffer);
    handle->handle_bytes = MAX_HANDLE_SZ;
    int mount = 0;
    if (name_to_handle_at(folder, "", handle, &mount, AT_EMPTY_PATH) == 0)
        return std::uint64_t(unsigned(mount)) + 1;
    return 0;
}

// One folder on the way down.
struct Level
{
    DirHandle dir; // null while closed to keep the descriptors bounded
    struct stat status;
    std::string name; // in the folder above
    std::vector<Entry> pending; // to remove in this pass, the next at the back
    std::unordered_set<std::string> failed;
};

class Walk
{
public:
    Walk(Listed listed, const struct stat& root)
        : m_listed(listed)
        , m_root(root)
    {
    }

    Walked run(DirHandle start, const struct stat& status)
    {
        m_device = status.st_dev;
        m_mount = mountOf(dirfd(start.get()));
        m_levels.push_back(Level { std::move(start), status, {}, {}, {} });
        return walkInOrder(*this, m_levels);
    }

private:
    template <class W, class L> friend Walked fs::walkInOrder(W&, L&);

    // Fills the level's pending entries with those listed, except ones that
    // failed before. False when there are none at all, failed ones included.
    bool list(Level& level)
    {
        rewinddir(level.dir.get());
        FolderListing listing = listFolder(level.dir.get(), m_listed, level.failed);
        level.pending = std::move(listing.entries);
        return listing.any;
    }

    // Removes an entry of the deepest level, or enters it when it is a
    // folder; one that stays is marked failed.
    void remove(const Entry& entry)
    {
        Level& level = m_levels.back();
        const int folder = dirfd(level.dir.get());
        const char* name = entry.name.c_str();
        if (!entry.isFolder)
            return fail(level, entry, unlinkat(folder, name, 0) == 0);
        UniqueFd inner(openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!inner) {
            if (errno == ELOOP || errno == ENOTDIR)
                return fail(level, entry, removeReplaced(folder, name));
            // It cannot be listed, but it goes if it is empty.
            return fail(level, entry, errno != EMFILE && unlinkat(folder, name, AT_REMOVEDIR) == 0);
        }
        struct stat status;
        if (fstat(inner.get(), &status) != 0 || status.st_dev != m_device
            || mountOf(inner.get()) != m_mount || sameFile(status, m_root))
            return fail(level, entry, false);
        if (m_levels.size() - m_firstOpen >= kOpenFolders)
            m_levels[m_firstOpen++].dir.reset();
        DirHandle dir = listingOf(std::move(inner));
        if (!dir)
            return fail(level, entry, false);
        m_levels.push_back(Level { std::move(dir), status, entry.name, {}, {} });
    }

    static void fail(Level& level, const Entry& entry, bool removed)
    {
        if (!removed)
            level.failed.insert(entry.name);
    }

    // The entry was listed as a folder and is something else by now: it goes
    // as what it is, if the listing would have shown it so; a link is not
    // followed.
    bool removeReplaced(int folder, const char* name) const
    {
        if (m_listed == Listed::ReadableAndWritable) {
            struct stat status;
            if (fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) != 0
                || !(S_ISLNK(status.st_mode) || S_ISREG(status.st_mode))
                || !mayTouch(folder, name))
                return false;
        }
        return unlinkat(folder, name, 0) == 0;
    }

    // Done with the deepest level: back to the one above, reopened through
    // ".." if it was closed, and the folder removed from it when `emptied`.
    // False when the folder above cannot be reached again, or is not the one
    // the walk left.
    bool leave(bool emptied)
    {
        Level done = std::move(m_levels.back());
        m_levels.pop_back();
        Level& above = m_levels.back();
        if (!above.dir) {
            if (!done.dir)
                return false;
            UniqueFd reopened(
                openat(dirfd(done.dir.get()), "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            struct stat status;
            if (!reopened || fstat(reopened.get(), &status) != 0 || !sameFile(status, above.status))
                return false;
            above.dir = listingOf(std::move(reopened));
            if (!above.dir)
                return false;
            m_firstOpen = m_levels.size() - 1;
        }
        done.dir.reset();
        const bool removed = emptied
            && unlinkat(dirfd(above.dir.get()), done.name.c_str(), AT_REMOVEDIR) == 0;
        if (!removed)
            above.failed.insert(done.name);
        return true;
    }

    const Listed m_listed;
    const struct stat m_root;
    dev_t m_device = 0;
    std::uint64_t m_mount = 0;
    std::vector<Level> m_levels;
    std::size_t m_firstOpen = 0; // levels below it are closed
};

} // namespace

Walked emptyTree(UniqueFd folder, Listed listed)
{
    struct stat own;
    struct stat root;
    if (fstat(folder.get(), &own) != 0 || stat("/", &root) != 0)
        return Walked::Remains;
    if (sameFile(own, root))
        return Walked::Refused;
    DirHandle dir = listingOf(std::move(folder));
    if (!dir)
        return Walked::Remains;
    return Walk(listed, root).run(std::move(dir), own);
}

void emptyFolderAt(const QString& path)
{
    if (path.isEmpty())
        return;
    UniqueFd folder(open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder)
        emptyTree(std::move(folder), Listed::ReadableAndWritable);
}

bool removeFolderAt(const QString& path)
{
    if (path.isEmpty())
        return true;
    const QByteArray folderPath = QFile::encodeName(path);
    const PathEnd end = PathEnd::open(folderPath);
    if (end.name.isEmpty())
        return false; // the root, which is always there
    if (!end.parent) {
        struct stat status;
        return stat(folderPath.constData(), &status) != 0 || !S_ISDIR(status.st_mode);
    }
    const int parent = end.parent.get();
    const char* name = end.name.constData();
    UniqueFd folder(openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) {
        // What QDir sees: nothing also when the parent cannot be searched.
        struct stat status;
        if (fstatat(parent, name, &status, 0) != 0 || !S_ISDIR(status.st_mode))
            return true;
    } else if (emptyTree(std::move(folder), Listed::ReadableAndWritable)
        == Walked::Refused) {
        return false;
    }
    // QDir's rmdir refuses a path ending in "." or "..".
    if (end.name == "." || end.name == "..")
        return false;
    // A folder that could not be opened may still go when it is empty. When
    // the path is a link, this fails and the link stays, as documented.
    return unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
}

} // namespace fs

#endif
