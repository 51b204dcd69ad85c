#include "MiniHttpServer.h"

#include <QHostAddress>
#if QT_CONFIG(ssl)
#include <QSslSocket>
#endif
#include <QTcpSocket>
#include <QTimer>

#include <stdexcept>

namespace {
const QByteArray kHeadEnd = QByteArrayLiteral("\r\n\r\n");
}

MiniHttpServer::MiniHttpServer()
{
    if (!listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("test HTTP server cannot listen on 127.0.0.1");
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QString MiniHttpServer::url(const QString& path) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(m_tls ? "https" : "http")
        .arg(serverPort())
        .arg(path);
}

#if QT_CONFIG(ssl)
void MiniHttpServer::useTls(const QSslCertificate& certificate, const QSslKey& key)
{
    m_certificate = certificate;
    m_key = key;
    m_tls = true;
}
#endif

void MiniHttpServer::incomingConnection(qintptr descriptor)
{
    if (!m_tls)
        return QTcpServer::incomingConnection(descriptor);
#if QT_CONFIG(ssl)
    auto* socket = new QSslSocket(this);
    socket->setSocketDescriptor(descriptor);
    socket->setLocalCertificate(m_certificate);
    socket->setPrivateKey(m_key);
    addPendingConnection(socket);
    socket->startServerEncryption();
#endif
}

MiniHttpServer::Response MiniHttpServer::fileResponse(
    const QByteArray& disposition, const QByteArray& body, int status)
{
    Response response;
    response.status = status;
    if (!disposition.isEmpty())
        response.headers.append("Content-Disposition: " + disposition);
    response.body = body;
    return response;
}

QByteArray MiniHttpServer::headerOf(const QByteArray& request, const QByteArray& name)
{
    const QByteArray key = "\r\n" + name + ": ";
    const int at = request.indexOf(key);
    if (at < 0 || at > request.indexOf(kHeadEnd))
        return {};
    const int from = at + key.size();
    return request.mid(from, request.indexOf("\r\n", from) - from);
}

// One request a connection: the client's bytes stay in the socket until the
// whole request is there.
void MiniHttpServer::readFrom(QTcpSocket* socket)
{
    const QByteArray buffer = socket->peek(socket->bytesAvailable());
    const int headEnd = buffer.indexOf(kHeadEnd);
    const int total = headEnd + kHeadEnd.size() + headerOf(buffer, "Content-Length").toInt();
    if (headEnd < 0 || buffer.size() < total)
        return;
    m_requests.append(socket->read(total));
    answer(socket, m_handler(m_requests.last()));
}

void MiniHttpServer::answer(QTcpSocket* socket, const Response& response)
{
    if (response.status <= 0) {
        if (response.status == 0)
            socket->disconnectFromHost();
        return;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
    for (const QByteArray& line : response.headers)
        head += line + "\r\n";
    QByteArray body = response.body;
    if (response.framing == Framing::Length) {
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    } else if (response.framing == Framing::Chunked) {
        head += "Transfer-Encoding: chunked\r\n";
        // Several chunks, so that a cut can fall before the last one.
        body.clear();
        for (int at = 0; at < response.body.size(); at += 1 << 14) {
            const QByteArray chunk = response.body.mid(at, 1 << 14);
            body += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
        }
        body += "0\r\n";
        for (const QByteArray& line : response.trailers)
            body += line + "\r\n";
        body += "\r\n";
    }
    socket->write(head + "Connection: close\r\n\r\n");
    if (response.trickleMs > 0) {
        auto* timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket,
            [socket, body, at = 0]() mutable { socket->write(body.mid(at++, 1)); });
        return timer->start(response.trickleMs);
    }
    socket->write(response.cutAfter < 0 ? body : body.left(response.cutAfter));
    if (response.cutAfter < 0 || !response.stallAtCut)
        socket->disconnectFromHost();
}
