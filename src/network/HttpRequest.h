#pragma once

#include <bimcore/core/bimcore_export.h>

#include <QJsonObject>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QTimer;

// Blocking client for the cloud services' REST interfaces. Every operation is
// class-wide: one access manager and one time-out timer serve the whole
// process. A call waits in a local event loop, so the caller's thread keeps
// processing events, and must therefore never be nested inside another
// request's wait. All calls belong on the thread that made the first one.
class BIMCORE_EXPORT HttpRequest : public QObject
{
public:
    // Types the request that Request() is asked to send; Request() sends
    // nothing whatever the type.
    enum RequestType
    {
        Get,
        Post,
        Put,
        Delete
    };

    // Receives a download's progress while httpDownload waits: the bytes of
    // the file received so far, counting those kept from an earlier, cut
    // transfer, and the whole file's size, or -1 while it is not known. It is
    // called on the thread that waits, and must not start another request.
    using DownloadProgress = void (*)(qint64 received, qint64 total);

    HttpRequest();
    ~HttpRequest() override;

    // GET with the signed-in user's token as "Authorization".
    static QJsonObject HttpGet(QString url);
    // GET; returns the reply's object when its "code" reads as 0 and throws
    // BIMException "<code>: <message>" otherwise, or the reply's error text
    // when the request failed, or "网络超时！" on time-out.
    static QJsonObject HttpGet(QString url, const QString& authorization);
    // POST of body as indented JSON; returns the reply's object whatever its
    // "code". Throws BIMException with the reply's error text when the
    // request failed, and a std::runtime_error "Network Timeout!" on time-out.
    static QJsonObject HttpPost(QJsonObject body, QString url);

    // These send nothing and return an empty object.
    static QJsonObject HttpPut(QString url);
    static QJsonObject HttpDelete(QString url);
    static QJsonObject Request(QJsonObject body, RequestType type, QString url);

    // Fetches one file into dir, under the name the server gives in
    // "Content-Disposition". dir is a prefix: the name is appended with no
    // separator, so pass it with a trailing "/". Returns the written path, or
    // an empty text when nothing was written (request failed, name refused,
    // file not writable, not enough free space for the announced length).
    // Throws BIMException "网络超时！" on time-out.
    //
    // A transfer that is cut leaves its part in dir, in hidden
    // ".download-*" files, when the server named a version of the file
    // ("ETag" or "Last-Modified"); the next call for the same url and dir
    // asks only for the rest, and starts over when the server cannot give
    // it. A part left for more than 7 days is not continued.
    static QString httpDownload(QString url, QString dir);

    // Sets the receiver of download progress for every later download of
    // the process; a null one drops the progress, as at start.
    static void setDownloadProgress(DownloadProgress progress);

private:
    static void init();

    static QNetworkAccessManager* m_pNetManager;
    static QTimer* m_pTimer;
    static DownloadProgress m_downloadProgress;

    // Lets the tests inspect the shared objects and shorten the time-out.
    friend class HttpRequestTestPeer;
};
