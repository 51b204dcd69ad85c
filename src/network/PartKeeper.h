#pragma once

#include "DownloadFolder.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <optional>

namespace network_detail {

// What is on the disk of a download that did not end, so that the rest can
// be asked for: the server's version of the file and how much of it is here.
struct PartRecord
{
    QString url;
    QByteArray etag;
    QByteArray lastModified;
    QString name; // the file name the server announced
    qint64 bytes = 0; // the part's first bytes that hold the file's
    qint64 total = 0; // the whole file's size

    // The version to continue only while it is current ("If-Range"): a
    // strong entity tag, else the date; empty when neither can serve.
    QByteArray ifRange() const;
    // Whether the rest can be asked for: some but not all of the file is
    // here, and the server named its version.
    bool canContinue() const;
};

// The part of one download of url into a folder, kept in the folder's
// bookkeeping under a name made from both. A lock keeps a second download of
// the same url from sharing it; that one writes a part of its own, under a
// lock of its own, and keeps nothing. Every download holds a lock file in the
// bookkeeping folder while it lives, which keeps the folder. The record is
// written when the body starts and advanced at checkpoints whose bytes are on
// the disk first, so a download killed at any point leaves a record that
// claims no byte it does not have.
class PartKeeper
{
public:
    PartKeeper(const QString& url, DownloadFolder& folder);
    // Leaves no lock, nor a bookkeeping folder that no other download
    // holds and nothing is kept in, behind.
    ~PartKeeper();
    PartKeeper(const PartKeeper&) = delete;
    PartKeeper& operator=(const PartKeeper&) = delete;

    // The leftover to continue, if any.
    const std::optional<PartRecord>& leftover() const { return m_leftover; }
    // Drops the leftover, so that the transfer starts over.
    void forget();

    // Starts writing the body: after the leftover when `continuing`, else
    // into an empty part. `record` describes the file; it is written at once
    // when the part could be continued.
    bool begin(bool continuing, const PartRecord& record);
    // Fails, writing nothing, where the part would pass the size limit.
    bool write(const char* data, qint64 size);
    // The size no file of this process may pass, or -1 when there is none.
    qint64 sizeLimit() const { return m_sizeLimit; }
    // Bytes of the file in the part, counting those kept from before.
    qint64 size() const { return m_written; }
    // Keeps what was written for a later call, when it can be continued,
    // and reports whether it did. A whole file is kept too: one whose target
    // could not be replaced.
    bool keep();
    void discard();
    const UniqueFd& file() const { return m_part; }
    // Moves the whole file over the target, once it is on the disk.
    bool moveOver(const QString& lastPart, const unsigned* mode);

private:
    QString partName() const { return m_stem + QStringLiteral(".part"); }
    QString recordName() const { return m_stem + QStringLiteral(".json"); }
    void takeLeftover();
    void removeStale();
    bool checkpoint();
    void discardUnkept();

    const QString m_url;
    DownloadFolder& m_folder;
    const qint64 m_sizeLimit;
    QString m_stem;
    UniqueFd m_lock;
    // Without the url's lock: the one of the part of its own.
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
