#pragma once

#include <core/bimcore_export.h>

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
    // file not writable). Throws BIMException "网络超时！" on time-out.
    static QString httpDownload(QString url, QString dir);

private:
    static void init();

    static QNetworkAccessManager* m_pNetManager;
    static QTimer* m_pTimer;

    // Lets the tests inspect the shared objects and shorten the time-out.
    friend class HttpRequestTestPeer;
};
