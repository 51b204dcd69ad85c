#pragma once

#include "UniqueFd.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace fs {

// An open folder whose entries are reached relative to it, so that its path
// is resolved once and a later step never lands elsewhere. On Windows the
// folder is held without leave to delete it, and entries are reached through
// the path the system resolved when it was opened.
class Folder
{
public:
    Folder() = default;
    // The folder at `path`, which must exist.
    explicit Folder(const QString& path);

    bool valid() const { return m_handle.valid(); }

    // The sub-folder `name`, made (hidden, owner only) when missing; never
    // reached through a link. Invalid when it cannot be had.
    Folder subFolder(const QString& name) const;
    // Removes the empty sub-folder `name`.
    void removeSubFolder(const QString& name) const;

    // Takes the lock file `name` for as long as the descriptor lives; invalid
    // when another holder has it, or the folder is gone. A lock goes with its
    // holder's process. A lock file removed meanwhile is taken again on the
    // file the name holds now.
    UniqueFd lock(const QString& name) const;
    // A plain file with no other name, for reading and writing, never
    // through a link; `create` makes it new and empty.
    UniqueFd openFile(const QString& name, bool create) const;
    std::optional<QByteArray> readFile(const QString& name, qint64 largest) const;
    // Replaces the file whole, through to the disk.
    bool replaceFile(const QString& name, const QByteArray& content) const;
    void remove(const QString& name) const;
    // Seconds since the entry last changed, -1 when it is missing.
    qint64 ageOf(const QString& name) const;
    QStringList filesEndingWith(const QString& ending) const;

    enum class Entry
    {
        Missing,
        Writable, // a plain file the user may write
        Refused, // a plain file the user may not write, a folder, or unknown
        Other, // a link or other entry, to replace rather than write through
    };
    // `mode` gets a Writable file's permission bits without set-id bits;
    // on Windows its read-only, hidden and system attributes.
    Entry entry(const QString& name, unsigned* mode) const;
    // Moves `from` over the entry `to` of the folder `into`, in one step.
    bool moveInto(const QString& from, const Folder& into, const QString& to) const;

private:
    UniqueFd m_handle;
#ifdef _WIN32
    QString entryPath(const QString& name) const;
    QString m_path;
#endif
};

// Whether the file system takes an entry name this long.
bool nameFits(const QString& name);
// The size no file of this process may pass, -1 when there is none.
qint64 fileSizeLimit();
// Gives the file the `mode` Folder::entry() found.
bool setMode(const UniqueFd& file, unsigned mode);
// Cuts the file to `size` bytes and places its end there.
bool cutTo(const UniqueFd& file, qint64 size);

// Whether `name`, as the last part `entry` of a path, can be held by any
// system the project runs on: no NUL, control, format or separator
// character that would show it as other than it is, no trailing dot or
// space, no Windows device name, and no longer than the file system takes.
bool isPortableName(const QString& name, const QString& entry);

} // namespace fs
