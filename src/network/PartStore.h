#pragma once

#include <bimcore/storage/fs/Folder.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <optional>

namespace bimcore {

namespace network_detail {

// The hidden folder beside a download's target that holds its parts,
// records and locks.
extern const QString kBookkeepingFolder;

// What is on the disk of a download that did not end: the server's version
// of the file and how much of it is here.
struct PartRecord
{
    QString url;
    QByteArray etag;
    QByteArray lastModified;
    QString name; // as the server announced it
    qint64 bytes = 0; // the part's first bytes that hold the file's
    qint64 total = 0; // the whole file's size

    // "If-Range": a strong entity tag, else the date; empty when neither serves.
    QByteArray ifRange() const;
    // Some but not all of the file is here, and the server named its version.
    bool canContinue() const;
};

// The part of one download of url into a folder, kept in the bookkeeping
// folder under a name made from both. A lock keeps a second download of the
// same url from sharing it; that one writes a part of its own, under a lock
// of its own, and keeps nothing. Every download holds a lock file there
// while it lives, which keeps the folder. The record is written when the
// body starts and advanced at checkpoints whose bytes are on the disk first,
// so a download killed at any point claims no byte it does not have.
class PartStore
{
public:
    // `prefix` is the caller's folder text, to which the name is appended.
    PartStore(const QString& prefix, const QString& url);
    // Leaves no lock, nor an empty bookkeeping folder no other download holds.
    ~PartStore();
    PartStore(const PartStore&) = delete;
    PartStore& operator=(const PartStore&) = delete;

    // Whether the target's folder exists and could be opened.
    bool isOpen() const { return m_dir.valid(); }
    // The target's entry in its folder, and the path given back, for a name.
    QString entryFor(const QString& name) const { return m_stemOfName + name; }
    QString pathFor(const QString& name) const { return m_prefix + name; }
    fs::Folder::Entry target(const QString& entry, unsigned* mode) const
    {
        return m_dir.entry(entry, mode);
    }
    // Whether `length` more bytes after `offset` fit the disk and the
    // process's file-size limit.
    bool hasRoomFor(qint64 offset, qint64 length) const;

    const std::optional<PartRecord>& leftover() const { return m_leftover; }
    // Drops the leftover, so that the transfer starts over.
    void forget();
    // Starts the body: after the leftover when `continuing`, else into an
    // empty part; the record is written at once when it could be continued.
    bool begin(bool continuing, const PartRecord& record);
    // Fails, writing nothing, where the part would pass the size limit.
    bool write(const char* data, qint64 size);
    // Bytes of the file in the part, counting those kept from before.
    qint64 size() const { return m_written; }
    // Keeps the part for a later call when it can be continued, and says so.
    // A whole file is kept too: one whose target could not be replaced.
    bool keep();
    void discard();
    const UniqueFd& file() const { return m_part; }
    // Moves the whole file over the target entry, once it is on the disk,
    // giving it `mode` when there is one.
    bool moveOver(const QString& entry, const unsigned* mode);

private:
    QString partName() const { return m_stem + QStringLiteral(".part"); }
    QString recordName() const { return m_stem + QStringLiteral(".json"); }
    bool ownsRecord() const { return m_lock && m_partName == partName(); }
    void takeLeftover();
    void removeStale();
    bool checkpoint();

    const QString m_url;
    const QString m_prefix;
    QString m_stemOfName; // what the prefix adds to the target's entry name
    fs::Folder m_dir;
    fs::Folder m_bookkeeping;
    const qint64 m_sizeLimit;
    QString m_stem;
    UniqueFd m_lock;
    // Without the url's lock: the one of a part of its own.
    QString m_ownStem;
    UniqueFd m_ownLock;
    std::optional<PartRecord> m_leftover;
    UniqueFd m_part;
    QString m_partName;
    PartRecord m_record;
    qint64 m_written = 0;
    qint64 m_checkpointed = 0;
    QElapsedTimer m_sinceCheckpoint;
};

} // namespace network_detail

} // namespace bimcore
