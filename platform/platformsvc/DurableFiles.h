#pragma once

#include <QString>
#include <QStringList>

#include <functional>

#include <unistd.h>

// File-system steps whose results survive a crash: every write is flushed to
// the disk before the name that makes it visible is put in place. Failures
// throw CentralStoreError naming the path and the system's reason.
namespace PlatformSvcComm::DurableFiles {

// Owns a file descriptor; a negative one owns nothing.
class Fd
{
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    {
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    // Closes the descriptor held and takes fd instead.
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

// Flushes a folder's entries (created, renamed or removed names).
void syncFolder(const QString& folder);

// Which file a path named, and its state: equal identities mean the same
// unchanged file (as far as the file system tells).
struct FileIdentity
{
    quint64 device { 0 };
    quint64 inode { 0 };
    qint64 size { -1 };
    qint64 modifiedNs { 0 };
    bool operator==(const FileIdentity& o) const
    {
        return device == o.device && inode == o.inode && size == o.size
            && modifiedNs == o.modifiedNs;
    }
    bool operator!=(const FileIdentity& o) const { return !(*this == o); }
};

// The identity of the file at path; size -1 when there is none.
FileIdentity identify(const QString& path);

// Copies a regular file into a new file (which must not exist) and flushes it.
// onProgress receives the bytes copied so far after each chunk; it may throw
// to abandon the copy. Returns the identity of the file copied.
FileIdentity copyFile(const QString& from, const QString& to,
    const std::function<void(qint64 copied, qint64 total)>& onProgress);

// Fills the empty folder `to` with the entries of `from` except those named in
// `skip` (top level only): sub-folders are recreated, everything else is hard
// linked (copied where the file system refuses links). The new folders are
// flushed.
void mirrorFolder(const QString& from, const QString& to, const QStringList& skip);

// Swaps two existing paths in one step. False when the file system cannot.
bool exchange(const QString& a, const QString& b);

void rename(const QString& from, const QString& to);

// Removes a tree if it is there; links are removed, never followed.
void removeTree(const QString& path);

bool exists(const QString& path);

} // namespace PlatformSvcComm::DurableFiles
