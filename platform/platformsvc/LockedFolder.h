#pragma once

#include <bimcore/platform/ksqlite/KSqlDatabase.h>
#include <bimcore/storage/fs/UniqueFd.h>

#include <QString>

#include <memory>

namespace PlatformSvcComm {

/**
 * @brief A project folder held open and locked against every other update and
 * open of it, in any process, with the entry operations an update makes in
 * it. Names are entries of the folder itself; a link among them is never
 * followed. Failures throw std::runtime_error naming the path and the
 * system's reason.
 */
class LockedFolder
{
public:
    /**
     * Opens the folder and waits for its lock: shared among those who only
     * read the folder, exclusive for one who changes it. An empty object when
     * there is no folder at the path.
     */
    static LockedFolder open(const QString& path, bool shared = false);

    explicit operator bool() const { return m_folder.valid(); }
    const QString& path() const { return m_path; }
    QString pathOf(const QString& name) const { return m_path + QLatin1Char('/') + name; }

    bool exists(const QString& name) const;
    /** Whether the entry is a plain file, not a link, a folder or anything else. */
    bool isPlainFile(const QString& name) const;
    /** Removes the entry; nothing to do when it is missing. */
    void remove(const QString& name) const;
    /**
     * Removes the entry, a link as a link and a folder with what it holds,
     * never following a link, and reports nothing: what cannot go stays.
     */
    void removeLeftover(const QString& name) const;
    /** Moves the entry `from` over `to`. */
    void rename(const QString& from, const QString& to) const;
    /** Makes an empty file at a name nothing holds yet. */
    void createEmpty(const QString& name) const;
    /** Copies the plain file at `from` into a new entry, flushed to the disk. */
    void copyInto(const QString& from, const QString& name) const;
    /**
     * Keeps every other process from writing the SQLite database at `name`
     * for as long as the object returned lives, through SQLite's own lock, so
     * that none loses a write to the file replacing it. On Windows, which
     * replaces no file held open, it only checks that no process is writing
     * and returns nothing to hold. Throws when a process is writing.
     */
    std::unique_ptr<KSQLite::KSqlDatabase> excludeWriters(const QString& name) const;
    /** Whether the system replaces a file another handle holds open. */
#ifdef _WIN32
    static constexpr bool kReplacesOpenFiles = false;
#else
    static constexpr bool kReplacesOpenFiles = true;
#endif
    /** Makes the folder's entries durable. */
    void flush() const;
    /** Lets the folder go and removes it when it holds nothing of anyone else's. */
    void removeFolder();
    /**
     * Moves the folder, whole, to `target`, where nothing may be; written
     * through to the disk. The lock goes with the folder on POSIX and is let
     * go on Windows, which moves no folder that holds open files.
     */
    void moveFolderTo(const QString& target);

private:
    QString m_path;
    UniqueFd m_folder;
    UniqueFd m_lock; // Windows locks a file in the folder, POSIX the folder itself
};

} // namespace PlatformSvcComm
