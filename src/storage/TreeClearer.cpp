#include "TreeClearer.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <memory>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct DirCloser
{
    void operator()(DIR* dir) const noexcept { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

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

// The work-list listing: folders and files, hidden ones included, only those
// both readable and writable for the real user, without "." and "..", and
// without what QDir counts as system entries (broken links, sockets, pipes,
// devices). A link counts as listed when its target exists; it is reported
// as a file so that it is removed as a link and never entered.
template <class Item> std::vector<Item> listFolder(const std::string& path)
{
    std::vector<Item> listed;
    const DirHandle dir(opendir(path.c_str()));
    if (!dir)
        return listed;
    const int fd = dirfd(dir.get());
    while (const dirent* entry = readdir(dir.get())) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat status;
            if (fstatat(fd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISDIR(status.st_mode) ? DT_DIR
                : S_ISREG(status.st_mode)  ? DT_REG
                : S_ISLNK(status.st_mode)  ? DT_LNK
                                           : DT_UNKNOWN;
        }
        bool isFolder = false;
        if (type == DT_DIR) {
            isFolder = true;
        } else if (type == DT_LNK) {
            struct stat target;
            if (fstatat(fd, name, &target, 0) != 0)
                continue; // broken link
        } else if (type != DT_REG) {
            continue;
        }
        // Follows a link, as QFileInfo's permission test does.
        if (faccessat(fd, name, R_OK | W_OK, 0) != 0)
            continue;
        listed.push_back(Item { name, isFolder });
    }
    sortByName(listed);
    return listed;
}

} // namespace

TreeClearer::TreeClearer(std::string root)
{
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    m_folders.emplace_back(kNone, std::move(root));
}

void TreeClearer::run()
{
    struct stat status;
    if (stat(m_folders.front().path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return;

    std::vector<Listed> listed = listFolder<Listed>(m_folders.front().path);
    appendListing(0, listed);

    while (!m_work.empty()) {
        // Entries appended during a pass lie beyond its start and wait for
        // the next one.
        for (std::size_t index = m_work.size(); index-- > 0;) {
            if (m_work[index].folder == kNone)
                visitFile(index);
            else
                visitFolder(index);
        }
        compact();
    }
}

void TreeClearer::visitFile(std::size_t index)
{
    drop(index, unlink(pathOf(m_work[index]).c_str()) == 0);
}

void TreeClearer::visitFolder(std::size_t index)
{
    const std::uint32_t folder = m_work[index].folder;
    if (m_folders[folder].pending > 0)
        return; // its entries are still being worked on

    std::vector<Listed> listed = listFolder<Listed>(m_folders[folder].path);
    if (listed.empty()) {
        drop(index, rmdir(m_folders[folder].path.c_str()) == 0);
        return;
    }
    appendListing(folder, listed);
    if (m_folders[folder].pending == 0)
        drop(index, false); // only entries that would not go: give up on it
}

void TreeClearer::appendListing(std::uint32_t folder, std::vector<Listed>& listed)
{
    for (Listed& item : listed) {
        if (m_folders[folder].failed.count(item.name) != 0)
            continue;
        std::uint32_t own = kNone;
        if (item.isFolder) {
            own = static_cast<std::uint32_t>(m_folders.size());
            m_folders.emplace_back(folder, m_folders[folder].path + '/' + item.name);
        }
        m_work.emplace_back(folder, own, std::move(item.name));
        ++m_folders[folder].pending;
    }
}

void TreeClearer::drop(std::size_t index, bool removed)
{
    Entry& entry = m_work[index];
    entry.dropped = true;
    Folder& parent = m_folders[entry.parent];
    --parent.pending;
    if (!removed)
        parent.failed.insert(entry.name);
    if (entry.folder != kNone) {
        // Its record is no longer needed; keep the slot so indices hold.
        Folder& own = m_folders[entry.folder];
        std::string().swap(own.path);
        std::unordered_set<std::string>().swap(own.failed);
    }
}

void TreeClearer::compact()
{
    m_work.erase(std::remove_if(m_work.begin(), m_work.end(),
                     [](const Entry& entry) { return entry.dropped; }),
        m_work.end());
}

const std::string& TreeClearer::pathOf(const Entry& entry)
{
    const std::string& folder = m_folders[entry.parent].path;
    m_pathBuffer.assign(folder);
    m_pathBuffer += '/';
    m_pathBuffer += entry.name;
    return m_pathBuffer;
}
