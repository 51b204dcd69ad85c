#pragma once

#include <QByteArray>
#include <QFile>
#include <QLockFile>
#include <QString>

#include <memory>
#include <optional>

namespace network_detail {

// What a cut transfer left, recorded beside its part so that the rest can
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

// The body file of one download of url into dir. It is named after the URL,
// so that a later download of the same URL finds what a cut one left, and a
// lock keeps a second download of it from sharing the files; when the lock
// is held elsewhere the body goes to a file of its own and nothing is kept.
// A leftover is taken only while it is no older than a week, is a plain file
// of its own (never through a link) and matches its record; otherwise it is
// removed.
class PartialDownload
{
public:
    PartialDownload(QString url, QString dir);
    ~PartialDownload();

    PartialDownload(const PartialDownload&) = delete;
    PartialDownload& operator=(const PartialDownload&) = delete;

    // The leftover to continue, if any.
    const std::optional<PartRecord>& leftover() const { return m_leftover; }

    // Removes the leftover, so that the transfer starts over.
    void forget();

    // Opens the file the body goes into: the leftover cut back to its
    // recorded length and ready to append to when `continuing`, otherwise a
    // new empty file. Null when it cannot be made; it lives until one of the
    // three calls below, or this object, ends it.
    QFile* open(bool continuing);

    // Leaves the part written so far for a later download to continue.
    // Returns false, and leaves the part open, when it cannot be continued.
    bool keep(PartRecord record);
    // Removes the part.
    void discard();
    // Moves the whole file over target, once it is on the disk.
    bool moveOver(const QString& target);

private:
    void takeLeftover();
    void removeRecord();

    const QString m_url;
    const QString m_dir;
    const QString m_stem; // the path of the files, less their endings
    QLockFile m_lock;
    bool m_locked = false;
    std::optional<PartRecord> m_leftover;
    std::unique_ptr<QFile> m_leftoverFile;
    std::unique_ptr<QFile> m_part;
    QString m_partPath; // the file holds no name when opened as the leftover
};

} // namespace network_detail
