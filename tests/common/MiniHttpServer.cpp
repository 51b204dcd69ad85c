#include "MiniHttpServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QSslSocket>
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
    connect(this, &QTcpServer::newConnection, this, &MiniHttpServer::accept);
}

QString MiniHttpServer::url(const QString& path) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(m_key.isNull() ? "http" : "https")
        .arg(serverPort())
        .arg(path);
}

void MiniHttpServer::useTls(const QSslCertificate& certificate, const QSslKey& key)
{
    m_certificate = certificate;
    m_key = key;
}

void MiniHttpServer::incomingConnection(qintptr descriptor)
{
    if (m_key.isNull())
        return QTcpServer::incomingConnection(descriptor);
    auto* socket = new QSslSocket(this);
    socket->setSocketDescriptor(descriptor);
    socket->setLocalCertificate(m_certificate);
    socket->setPrivateKey(m_key);
    addPendingConnection(socket);
    socket->startServerEncryption();
}

void MiniHttpServer::respond(Response response, Behaviour behaviour)
{
    m_response = std::move(response);
    m_behaviour = behaviour;
    m_handler = nullptr;
}

void MiniHttpServer::respondWith(Handler handler)
{
    m_handler = std::move(handler);
    m_behaviour = Behaviour::Answer;
}

void MiniHttpServer::respondJson(const QByteArray& json, int status)
{
    Response response;
    response.status = status;
    response.reason = reasonOf(status);
    response.headers = { { "Content-Type", "application/json" } };
    response.body = json;
    respond(response);
}

MiniHttpServer::Response MiniHttpServer::fileResponse(
    const QByteArray& disposition, const QByteArray& body, int status)
{
    Response response;
    response.status = status;
    response.reason = reasonOf(status);
    if (!disposition.isEmpty())
        response.headers.append({ "Content-Disposition", disposition });
    response.body = body;
    return response;
}

void MiniHttpServer::respondFile(
    const QByteArray& disposition, const QByteArray& body, int status, Behaviour behaviour)
{
    respond(fileResponse(disposition, body, status), behaviour);
}

QByteArray MiniHttpServer::reasonOf(int status)
{
    return status == 200 ? "OK" : status == 404 ? "Not Found" : "Error";
}

QList<MiniHttpServer::Header> MiniHttpServer::headersOf(const QByteArray& request)
{
    QList<Header> headers;
    const QList<QByteArray> lines = request.left(request.indexOf(kHeadEnd)).split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        const int colon = line.indexOf(':');
        QByteArray value = line.mid(colon + 1);
        if (value.startsWith(' '))
            value.remove(0, 1);
        headers.append({ line.left(colon), value });
    }
    return headers;
}

QByteArray MiniHttpServer::requestLineOf(const QByteArray& request)
{
    return request.left(request.indexOf("\r\n"));
}

QByteArray MiniHttpServer::headerOf(const QByteArray& request, const QByteArray& name)
{
    for (const Header& header : headersOf(request)) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    }
    return {};
}

QByteArray MiniHttpServer::bodyOf(const QByteArray& request)
{
    return request.mid(request.indexOf(kHeadEnd) + kHeadEnd.size());
}

void MiniHttpServer::accept()
{
    while (QTcpSocket* socket = nextPendingConnection()) {
        ++m_connections;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
    }
}

void MiniHttpServer::readFrom(QTcpSocket* socket)
{
    QByteArray& buffer = m_pending[socket];
    buffer += socket->readAll();
    const int headEnd = buffer.indexOf(kHeadEnd);
    if (headEnd < 0)
        return;
    const int contentLength = headerOf(buffer, "Content-Length").trimmed().toInt();
    const int total = headEnd + kHeadEnd.size() + contentLength;
    if (buffer.size() < total)
        return;
    m_requests.append(buffer.left(total));
    buffer.remove(0, total);
    answer(socket);
}

QByteArray MiniHttpServer::head(const Response& response)
{
    QByteArray text
        = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + response.reason + "\r\n";
    for (const Header& header : response.headers)
        text += header.first + ": " + header.second + "\r\n";
    if (response.framing == Framing::Length)
        text += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    else if (response.framing == Framing::Chunked)
        text += "Transfer-Encoding: chunked\r\n";
    text += "Connection: close\r\n\r\n";
    return text;
}

QByteArray MiniHttpServer::framedBody(const Response& response)
{
    const QByteArray& body = response.body;
    if (response.framing != Framing::Chunked)
        return body;
    // Several chunks, so that a cut can fall before the last one.
    constexpr int kChunk = 1 << 14;
    QByteArray framed;
    for (int at = 0; at < body.size(); at += kChunk) {
        const QByteArray chunk = body.mid(at, kChunk);
        framed += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
    }
    return framed + "0\r\n\r\n";
}

void MiniHttpServer::answer(QTcpSocket* socket)
{
    const Response response = m_handler ? m_handler(m_requests.last()) : m_response;
    const QByteArray head = MiniHttpServer::head(response);
    const QByteArray body = framedBody(response);
    switch (m_behaviour) {
    case Behaviour::Answer:
        if (response.trickleMs > 0) {
            socket->write(head);
            trickle(socket, body, response.trickleMs);
            break;
        }
        socket->write(head + (response.cutAfter < 0 ? body : body.left(response.cutAfter)));
        if (response.cutAfter < 0 || !response.stallAtCut)
            socket->disconnectFromHost();
        break;
    case Behaviour::Close:
        socket->disconnectFromHost();
        break;
    case Behaviour::Silent:
        break;
    }
}

void MiniHttpServer::trickle(QTcpSocket* socket, QByteArray rest, int intervalMs)
{
    if (rest.isEmpty())
        return;
    QPointer<QTcpSocket> alive(socket);
    QTimer::singleShot(intervalMs, this, [=] {
        if (!alive)
            return;
        alive->write(rest.left(1));
        trickle(alive, rest.mid(1), intervalMs);
    });
}
