#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QTcpServer>
#if QT_CONFIG(ssl)
#include <QSslCertificate>
#include <QSslKey>
#endif

#include <functional>

class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 for tests. It answers every request
// as configured (or misbehaves as configured) and keeps the raw bytes of each
// request, so that header names, order and values can be checked exactly. It
// runs on the event loop of the thread that made it; the library's blocking
// calls spin a local loop, which serves it.
class MiniHttpServer : public QTcpServer
{
public:
    // How the end of the body is told.
    enum class Framing
    {
        Length, // "Content-Length"
        Chunked, // "Transfer-Encoding: chunked"
        Close, // neither: the body ends with the connection
    };

    struct Response
    {
        // 0 closes the connection without a word; a negative status never
        // answers and keeps the connection open.
        int status = 200;
        QByteArrayList headers; // "Name: value" lines
        QByteArray body;
        Framing framing = Framing::Length;
        // "Name: value" lines after the last chunk of a chunked body.
        QByteArrayList trailers;
        // Bytes of the framed body sent before the connection is closed, or
        // left hanging when `stallAtCut`; -1 sends it all.
        int cutAfter = -1;
        bool stallAtCut = false;
        // Sends the framed body one byte every this many milliseconds.
        int trickleMs = 0;
    };
    // Makes the response to one raw request.
    using Handler = std::function<Response(const QByteArray& request)>;

    MiniHttpServer();

    // The address of path on this server.
    QString url(const QString& path = QStringLiteral("/")) const;
#if QT_CONFIG(ssl)
    // Serves HTTPS from now on, under this certificate and key.
    void useTls(const QSslCertificate& certificate, const QSslKey& key);
#endif

    void respondWith(Handler handler) { m_handler = std::move(handler); }
    void respond(const Response& response)
    {
        respondWith([response](const QByteArray&) { return response; });
    }
    void respondJson(const QByteArray& json) { respondFile({}, json); }
    // A file download: the body, named by a "Content-Disposition" header
    // unless the disposition is empty.
    static Response fileResponse(
        const QByteArray& disposition, const QByteArray& body, int status = 200);
    void respondFile(const QByteArray& disposition, const QByteArray& body, int status = 200)
    {
        respond(fileResponse(disposition, body, status));
    }

    // Raw requests received so far (head and body), in arrival order.
    const QList<QByteArray>& requests() const { return m_requests; }
    // The value of a header of a raw request, spelt as sent, or an empty text.
    static QByteArray headerOf(const QByteArray& request, const QByteArray& name);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void readFrom(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Response& response);

#if QT_CONFIG(ssl)
    QSslCertificate m_certificate;
    QSslKey m_key;
#endif
    bool m_tls = false;
    Handler m_handler;
    QList<QByteArray> m_requests;
};
