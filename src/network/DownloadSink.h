#pragma once

#include "PartialDownload.h"

#include <QByteArray>
#include <QFile>
#include <QMetaObject>
#include <QString>

#include <memory>

class QNetworkReply;

namespace network_detail {

// Streams a download's body, while it arrives, into a temporary file beside
// its target, and renames the file over the target's name only once the whole
// body came in without error. A body that was cut is kept for a later
// download to continue when the server named its version; whatever else
// happens, the temporary file is removed and whatever had the target's name
// stays as it was. A reply to a request for the rest of a leftover continues
// it only when it is exactly that rest.
class DownloadSink
{
public:
    using Progress = void (*)(qint64 received, qint64 total);

    // The "Accept-Encoding" the request must carry. Naming it keeps the access
    // manager from decoding the body itself, which would hide the length that
    // arrived and whether a compressed stream was cut short.
    static const QByteArray kAcceptEncoding;

    DownloadSink(QNetworkReply& reply, QString dir, PartialDownload& partial, Progress progress);
    ~DownloadSink();

    DownloadSink(const DownloadSink&) = delete;
    DownloadSink& operator=(const DownloadSink&) = delete;

    // Call once the reply has finished. The target path when the file is in
    // place, otherwise an empty text.
    QString complete();
    // Call when the wait for the reply was given up.
    void interrupted();
    // Whether the reply refused to continue the leftover it was asked for,
    // which the next request must then fetch whole.
    bool mustStartOver() const { return m_startOver; }

    // The name announced by a "Content-Disposition" header text, or an empty
    // text when it carries none or one that could leave the folder.
    static QString fileNameFrom(const QString& contentDisposition);

private:
    struct Inflater;

    void start();
    bool continuesLeftover() const;
    bool acceptEncoding(const QByteArray& encoding);
    // Whether `length` more bytes after `offset` fit; -1 is not announced.
    bool fitsOnDisk(qint64 offset, qint64 length) const;
    void drain();
    bool decode(const char* data, qint64 size);
    bool write(const char* data, qint64 size);
    void fail();
    void keepOrDiscard();
    bool bodyIsWhole() const;
    void reportProgress() const;

    QNetworkReply& m_reply;
    const QString m_dir;
    PartialDownload& m_partial;
    const Progress m_progress;
    QString m_target;
    QFile* m_part = nullptr;
    PartRecord m_record; // what a cut body would be kept as
    std::unique_ptr<Inflater> m_inflater;
    QByteArray m_chunk;
    QByteArray m_decoded;
    qint64 m_offset = 0; // bytes of the file there before this body
    qint64 m_received = 0; // bytes of this body as they came
    qint64 m_total = -1; // the whole file as sent (compressed when it is), -1 unknown
    bool m_started = false;
    bool m_failed = false;
    bool m_startOver = false;
    QMetaObject::Connection m_onMetaData;
    QMetaObject::Connection m_onReadyRead;
};

} // namespace network_detail
