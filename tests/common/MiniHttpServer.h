#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 for tests. It answers every request
// with the one configured response (or misbehaves as configured) and keeps
// the raw bytes of each request, so that header names, order and values can
// be checked exactly. It runs on the event loop of the thread that made it;
// the library's blocking calls spin a local loop, which serves it.
class MiniHttpServer : public QTcpServer
{
public:
    using Header = QPair<QByteArray, QByteArray>;

    // How the end of the body is told.
    enum class Framing
    {
        Length, // "Content-Length"
        Chunked, // "Transfer-Encoding: chunked"
        Close, // neither: the body ends with the connection
    };

    struct Response
    {
        int status = 200;
        QByteArray reason = "OK";
        QList<Header> headers;
        QByteArray body;
        Framing framing = Framing::Length;
        // Bytes of the framed body sent before the connection is closed, or
        // left hanging when `stallAtCut`; -1 sends it all.
        int cutAfter = -1;
        bool stallAtCut = false;
        // Sends the framed body one byte every this many milliseconds.
        int trickleMs = 0;
    };
    // Makes the response to one raw request.
    using Handler = std::function<Response(const QByteArray& request)>;

    enum class Behaviour
    {
        Answer, // send the response, then close
        Close, // close the connection without a word
        Silent, // keep the connection open and never answer
    };

    MiniHttpServer();

    // The address of path on this server.
    QString url(const QString& path = QStringLiteral("/")) const;
    // Serves HTTPS from now on, under this certificate and key.
    void useTls(const QSslCertificate& certificate, const QSslKey& key);

    void respond(Response response, Behaviour behaviour = Behaviour::Answer);
    void respondWith(Handler handler);
    void respondJson(const QByteArray& json, int status = 200);
    // A file download: the body, named by a "Content-Disposition" header
    // unless the disposition is empty.
    static Response fileResponse(
        const QByteArray& disposition, const QByteArray& body, int status = 200);
    void respondFile(const QByteArray& disposition, const QByteArray& body, int status = 200,
        Behaviour behaviour = Behaviour::Answer);

    // Raw requests received so far (head and body), in arrival order.
    const QList<QByteArray>& requests() const { return m_requests; }
    int connectionCount() const { return m_connections; }

    // The header lines of a raw request, in the order they were sent.
    static QList<Header> headersOf(const QByteArray& request);
    static QByteArray requestLineOf(const QByteArray& request);
    // The value of the first header of that name, or an empty text.
    static QByteArray headerOf(const QByteArray& request, const QByteArray& name);
    static QByteArray bodyOf(const QByteArray& request);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void accept();
    void readFrom(QTcpSocket* socket);
    void answer(QTcpSocket* socket);
    void trickle(QTcpSocket* socket, QByteArray rest, int intervalMs);
    static QByteArray head(const Response& response);
    static QByteArray framedBody(const Response& response);
    static QByteArray reasonOf(int status);

    QSslCertificate m_certificate;
    QSslKey m_key;
    Response m_response;
    Handler m_handler;
    Behaviour m_behaviour = Behaviour::Answer;
    QList<QByteArray> m_requests;
    QHash<QTcpSocket*, QByteArray> m_pending;
    int m_connections = 0;
};
