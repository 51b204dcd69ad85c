#pragma once

#include <QByteArray>
#include <QFile>
#include <QMetaObject>
#include <QString>

#include <memory>

class QNetworkReply;

namespace network_detail {

// Streams a download's body, while it arrives, into a temporary file beside
// its target, and renames the file over the target's name only once the whole
// body came in without error. Whatever else happens, the temporary file is
// removed and whatever had the target's name stays as it was.
class DownloadSink
{
public:
    // The "Accept-Encoding" the request must carry. Naming it keeps the access
    // manager from decoding the body itself, which would hide the length that
    // arrived and whether a compressed stream was cut short.
    static const QByteArray kAcceptEncoding;

    DownloadSink(QNetworkReply& reply, QString dir);
    ~DownloadSink();

    DownloadSink(const DownloadSink&) = delete;
    DownloadSink& operator=(const DownloadSink&) = delete;

    // Call once the reply has finished. The target path when the file is in
    // place, otherwise an empty text.
    QString complete();

    // The name announced by a "Content-Disposition" header text, or an empty
    // text when it carries none or one that could leave the folder.
    static QString fileNameFrom(const QString& contentDisposition);

private:
    struct Inflater;

    void start();
    void drain();
    bool decode(const char* data, qint64 size);
    bool write(const char* data, qint64 size);
    void fail();
    void discard();
    bool bodyIsWhole() const;
    bool moveIntoPlace();

    QNetworkReply& m_reply;
    const QString m_dir;
    QString m_target;
    std::unique_ptr<QFile> m_part;
    std::unique_ptr<Inflater> m_inflater;
    QByteArray m_chunk;
    QByteArray m_decoded;
    qint64 m_received = 0;
    bool m_started = false;
    bool m_failed = false;
    QMetaObject::Connection m_onMetaData;
    QMetaObject::Connection m_onReadyRead;
};

} // namespace network_detail
