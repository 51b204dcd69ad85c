#pragma once

#include <bimcore/core/bimcore_export.h>

#include <QJsonObject>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QTimer;

namespace bimcore {

/**
 * @brief Blocking client for the cloud services' REST interfaces and their
 * file downloads.
 *
 * Every operation is class-wide: one access manager and one time-out timer
 * (1000 seconds) serve the whole process and are made on first use. A call
 * waits in a local event loop, so the caller's thread keeps processing
 * events; it must therefore never be started inside another request's wait.
 * All calls belong on the thread that made the first one (the host's main
 * thread).
 */
class BIMCORE_EXPORT HttpRequest : public QObject
{
public:
    /** @brief The kind of request Request() is asked for; Request() sends
     *  nothing whatever the kind. */
    enum RequestType
    {
        Get, ///< a GET
        Post, ///< a POST
        Put, ///< a PUT
        Delete ///< a DELETE
    };

    /**
     * @brief Receives a download's progress while httpDownload() waits.
     *
     * Its arguments are the bytes of the file received so far, counting those
     * kept from an earlier, cut transfer, and the whole file's size, or -1
     * while it is not known. It is called on the thread that waits, and must
     * not start another request (it may call cancelDownload()).
     */
    using DownloadProgress = void (*)(qint64 received, qint64 total);

    /**
     * @brief Why the last httpDownload() of a thread wrote nothing.
     *
     * Each kind is the first cause the last request of that call met; the
     * same text goes to the category "bimcore.network" at debug level.
     */
    struct DownloadError
    {
        /** @brief The causes, one for each way a download can end empty. */
        enum Kind
        {
            /** The file was written, or no download has run on the thread. */
            None,
            /** No reply: no connection, TLS or the proxy refused it, or none
             *  came within the stall time, retries spent. */
            Network,
            /** A status other than 200, or the 206 that continues the part:
             *  404, 204 and 304 among them. */
            HttpStatus,
            /** A head that leaves the body in doubt (two lengths, a length
             *  beside chunks, a malformed digest), or a gzip or deflate body
             *  that is no stream of its coding or has bytes after its end. */
            BadReply,
            /** No name, one that cannot be decoded, or one the rules refuse. */
            RefusedName,
            /** The folder does not exist or cannot be opened. */
            MissingFolder,
            /** A folder or a file the user may not write is in the way, the
             *  folder takes no part, or the target could not be replaced
             *  (held open on Windows: the file then waits in its part). */
            TargetRefused,
            /** The announced length passes the free space or the file-size
             *  limit, or a write failed. */
            DiskFull,
            /** The body does not match the digest the server sent. */
            DigestMismatch,
            /** The body was cut, retries spent, or the application quit; its
             *  part is kept when it can be continued. */
            Cut,
            /** cancelDownload() ended it; its part is kept. */
            Cancelled,
            /** The call took 1000 seconds; httpDownload() also throws. */
            TimedOut,
            /** The body came in a coding other than gzip or deflate (zstd,
             *  br ...), although asked for as it is: nothing is written. */
            Coding,
        };
        /** The kind of cause. */
        Kind kind = None;
        /** The cause in English, naming the URL, the status or the path. */
        QString text;
    };

    /** @brief An object with nothing of its own; every operation is static. */
    HttpRequest();
    /** @brief Releases nothing: the shared manager and timer stay. */
    ~HttpRequest() override;

    /**
     * @brief GET with the signed-in user's token (Global::m_token) as
     *        "Authorization"; as HttpGet(QString, const QString&).
     * @param url the service's address, parsed in QUrl::TolerantMode
     * @return the reply's JSON object when its "code" reads as 0 (or is absent)
     * @throws BIMException as HttpGet(QString, const QString&)
     */
    static QJsonObject HttpGet(QString url);
    /**
     * @brief GET with "Content-Type: application/json", "Authorization" and
     *        "endpoint: PC", in this order.
     * @param url the service's address, parsed in QUrl::TolerantMode
     * @param authorization the "Authorization" value, sent as it is
     * @return the reply's JSON object when its "code" reads as 0; a reply
     *         that is no JSON object counts as an empty one
     * @throws BIMException (code 0) "<code>: <message>" when "code" is not 0;
     *         the reply's error text when the request failed; "网络超时！" on
     *         time-out; and, without reading it, for a reply body over 256 MiB
     */
    static QJsonObject HttpGet(QString url, const QString& authorization);
    /**
     * @brief POST of a JSON body as indented JSON, with the same headers as
     *        HttpGet() and the signed-in user's token.
     * @param body the object sent
     * @param url the service's address, parsed in QUrl::TolerantMode
     * @return the reply's JSON object whatever its "code"
     * @throws BIMException (code 0) with the reply's error text when the
     *         request failed, and for a reply body over 256 MiB
     * @throws std::runtime_error "Network Timeout!" on time-out
     */
    static QJsonObject HttpPost(QJsonObject body, QString url);

    /** @brief Sends nothing. @emptyfn @param url ignored @return an empty object */
    static QJsonObject HttpPut(QString url);
    /** @brief Sends nothing. @emptyfn @param url ignored @return an empty object */
    static QJsonObject HttpDelete(QString url);
    /** @brief Sends nothing. @emptyfn @param body ignored @param type ignored
     *  @param url ignored @return an empty object */
    static QJsonObject Request(QJsonObject body, RequestType type, QString url);

    /**
     * @brief Fetches one file into a folder, under the name the server gives.
     *
     * Sends a GET with "Content-Type: application/octet-stream", the
     * signed-in user's token as "Authorization" and "endpoint: PC", in this
     * order, and waits in a local event loop, so the caller's events still
     * run. The name is the text after the first "filename=" of the reply's
     * "Content-Disposition", double quotes removed. Only a 200 reply, or a
     * 206 that is exactly the rest of a part kept from before, is written, and
     * the file replaces the one of its name only once the whole body has
     * arrived (by its length, its last chunk or the end of its compressed
     * stream) and matches the digest the server sent ("Repr-Digest" or
     * "Digest", SHA-256 or SHA-512), keeping the mode of the file it
     * replaces. The body is asked for as it is ("Accept-Encoding:
     * identity"); one the server codes anyway with gzip or deflate is
     * decoded, whole only when its compressed stream ends exactly where the
     * body does, its digest checked over the bytes as they came, and never
     * continued; any other coding is refused. Names that could leave the folder, hold NUL or
     * control characters, or that a Windows machine could not hold, are refused, as are targets the
     * user may not write and folders.
     *
     * Parts, their records and locks are kept in the hidden folder
     * ".bimcore-downloads" beside the target. The record is advanced every
     * 32 MiB or 2 seconds, so that a download that is cut, killed or
     * cancelled is continued by the next call for the same url and dir when
     * the server named a version of the file ("ETag" or "Last-Modified"). A
     * transfer cut within the call, or of which less than 1 KiB comes in
     * any 60 seconds from the request's start (connection and head
     * included), is asked for again up to 3 times after 1, 2 and 4
     * seconds: continued when its part can be, whole when none of its body
     * had come. Only curl's own end of the transfer completes it: one
     * ended by QCoreApplication::exit() or quit() is cut. A part left for
     * more than 7 days is not continued.
     *
     * To a server the download looks like the REST calls: the proxy is the
     * one QNetworkProxyFactory::proxyForQuery gives for the URL (no proxy
     * variable of the environment counts); the cookies of the shared access
     * manager's jar for the URL are sent, and those the reply sets go back
     * into it; "User-Agent" and "Accept-Language" are those Qt's HTTP client
     * adds; and over HTTPS the certificate authorities, the client
     * certificate and key, and whether the server is verified, are those of
     * QSslConfiguration::defaultConfiguration().
     *
     * @param url the file's address, parsed in QUrl::TolerantMode
     * @param dir a prefix the name is appended to with no separator, so
     *            pass it with a trailing "/"; the folder must exist
     * @return the written path, or an empty text when nothing was written
     *         (failed or refused reply, refused name or target, cut body,
     *         digest mismatch, cancelled, the application quitting, not
     *         enough room for the length); lastDownloadError() says which
     * @throws BIMException "网络超时！" (code 0) when the whole call, retries
     *         included, takes 1000 seconds; the part is kept
     *
     * Call on the thread of the other requests, never inside another
     * request's wait.
     */
    static QString httpDownload(QString url, QString dir);

    /**
     * @brief Why the last httpDownload() of the calling thread returned an
     *        empty text; DownloadError::None after one that wrote its file.
     */
    static DownloadError lastDownloadError();

    /**
     * @brief Sets the receiver of download progress for every later download
     *        of the process; a null one drops the progress, as at start.
     * @param progress the receiver, or null
     *
     * Call on the thread that downloads.
     */
    static void setDownloadProgress(DownloadProgress progress);

    /**
     * @brief Ends the download that waits now: httpDownload then returns an
     *        empty text and keeps the part for the next call.
     *
     * Meant for a host's slot or the download progress callback, which run
     * inside the wait on the downloading thread; does nothing when no
     * download waits.
     */
    static void cancelDownload();

private:
    static void init();

    static QNetworkAccessManager* m_pNetManager;
    static QTimer* m_pTimer;

    // The download reaches the shared objects through it.
    friend class HttpRequestShared;
};

} // namespace bimcore

#ifndef BIMCORE_NO_GLOBAL_NAMES
using bimcore::HttpRequest;
#endif
