#pragma once

#include <bimcore/storage/fs/FileIo.h>

#include <QByteArray>
#include <QString>

#include <optional>

namespace network_detail {

// The folder a download's target goes into, and the hidden bookkeeping
// folder in it that holds parts, records and locks. Both are opened once;
// every later step works relative to them, so that a path is never resolved
// twice, and the bookkeeping folder is never reached through a link.
class DownloadFolder
{
public:
    // `prefix` is the caller's folder text, to which the name is appended.
    explicit DownloadFolder(const QString& prefix);

    // Whether the target's folder exists and could be opened.
    bool isOpen() const { return m_dir.valid(); }
    // The last part of the path `prefix` + name.
    QString lastPartFor(const QString& name) const { return m_stemOfName + name; }
    // The prefix as given, so that results keep the caller's spelling.
    const QString& prefix() const { return m_prefix; }

    // Opens, creating it if need be, the bookkeeping folder; afresh when
    // called again, as the one opened may have been removed meanwhile.
    bool openBookkeeping();
    // Closes the bookkeeping folder, and removes it when it holds nothing.
    // A download keeps it by holding a lock file in it.
    void closeBookkeeping();

    // Takes the lock of `stem` for as long as the descriptor lives; an
    // invalid one when another download holds it, or when the bookkeeping
    // folder is gone. A crashed holder's lock goes with its process. A lock
    // file is removed only by its holder, so a lock taken on a file that
    // lost its name meanwhile is no lock: it is taken again on the file the
    // name holds now.
    UniqueFd lock(const QString& stem) const;
    // A bookkeeping file for reading and writing: only a plain file with no
    // other name, never through a link. `create` makes it new and empty.
    UniqueFd openFile(const QString& name, bool create) const;
    std::optional<QByteArray> readFile(const QString& name, qint64 largest) const;
    // Replaces a bookkeeping file whole, through to the disk.
    bool replaceFile(const QString& name, const QByteArray& content) const;
    void remove(const QString& name) const;
    // Seconds since the bookkeeping file was last changed, -1 when missing.
    qint64 ageOf(const QString& name) const;
    // Bookkeeping files whose names end with `ending`.
    QStringList filesEndingWith(const QString& ending) const;

    // How the target's entry stands.
    enum class Target
    {
        Missing,
        Writable, // a plain file the user may write: its mode is kept
        Refused, // a plain file the user may not write, or a folder
        Other, // a link or other entry, which is replaced, never written through
    };
    // `mode` gets a Writable file's permission bits; on Windows, its
    // read-only, hidden and system attributes.
    Target target(const QString& lastPart, unsigned* mode) const;
    // Moves the bookkeeping file `from` over the target's entry.
    bool moveOver(const QString& from, const QString& lastPart) const;

private:
#ifdef _WIN32
    QString bookkeepingEntry(const QString& name) const;
#endif

    QString m_prefix;
    QString m_stemOfName; // what `prefix` adds to the name of the target itself
    UniqueFd m_dir;
    UniqueFd m_bookkeeping;
#ifdef _WIN32
    // The folder's path as the system resolved it when it was opened.
    // Windows reaches entries by path; the folder, held without leave to
    // delete it, stays where the path leads.
    QString m_path;
#endif
};

// The plain-file operations on parts and records.
using fs::flushToDisk;
using fs::readAt;
using fs::sizeOf;
using fs::writeAll;
// Whether the file system takes a name this long: a longer one is found out
// only once the whole file is in its part.
bool nameFitsFileSystem(const QString& lastPart);
// The size no file of this process may pass (the file-size limit), -1 when
// there is none.
qint64 fileSizeLimit();
// Gives the file the `mode` target() found.
bool setMode(const UniqueFd& file, unsigned mode);
// Cuts the file to `size` bytes and places the end of it there.
bool cutTo(const UniqueFd& file, qint64 size);

} // namespace network_detail
