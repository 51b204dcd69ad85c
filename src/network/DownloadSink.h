#pragma once

#include <QByteArray>
#include <QMetaObject>
#include <QSaveFile>
#include <QString>

#include <memory>

class QNetworkReply;

namespace network_detail {

// Streams a download's body, while it arrives, into a temporary file beside
// its target, and moves the file into place only once the whole body came in
// without error. Whatever else happens, the temporary file is removed and an
// existing file of the target's name stays as it was.
class DownloadSink
{
public:
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
    void start();
    void drain();
    void fail();
    bool bodyIsWhole() const;

    QNetworkReply& m_reply;
    const QString m_dir;
    QString m_target;
    std::unique_ptr<QSaveFile> m_file;
    QByteArray m_chunk;
    qint64 m_written = 0;
    bool m_started = false;
    bool m_failed = false;
    QMetaObject::Connection m_onMetaData;
    QMetaObject::Connection m_onReadyRead;
};

} // namespace network_detail
