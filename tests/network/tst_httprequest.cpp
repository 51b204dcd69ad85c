#include "HttpRequestTestPeer.h"
#include "MiniHttpServer.h"
#include "Raised.h"

#include <bimcore/core/Global.h>
#include <bimcore/network/HttpRequest.h>

#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <algorithm>
#include <memory>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

const QJsonObject kPostBody { { "name", "楼层" }, { "ids", QJsonArray { 1, 2 } } };

// Answers every connection with a JSON error object padded by blanks to
// `length` bytes, sent a mebibyte at a time as the socket takes them, so that
// the test itself never holds the body. With `announced` the length is sent
// ahead; otherwise the body ends with the connection.
struct StreamingServer : QTcpServer
{
    StreamingServer(qint64 length, bool announced)
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [=] {
            QTcpSocket* socket = nextPendingConnection();
            auto sent = std::make_shared<qint64>(-1);
            // The head once the request is in, then a piece whenever the last one is out.
            const auto send = [=] {
                if (*sent < 0) {
                    *sent = 25;
                    return void(socket->write("HTTP/1.1 200 OK\r\n"
                        + (announced ? "Content-Length: " + QByteArray::number(length)
                                     : QByteArray("Connection: close"))
                        + "\r\n\r\n" + R"({"code":5,"message":"err")"));
                }
                if (socket->bytesToWrite() > 0)
                    return;
                if (*sent >= length)
                    return socket->disconnectFromHost();
                const qint64 piece = std::min<qint64>(length - *sent, 1 << 20);
                *sent += piece;
                socket->write(QByteArray(int(piece) - 1, ' ') + (*sent == length ? "}" : " "));
            };
            connect(socket, &QTcpSocket::readyRead, socket, send);
            connect(socket, &QTcpSocket::bytesWritten, socket, send);
        });
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(serverPort()); }
};

// The service call under test: a GET, or a POST of `body`.
QJsonObject call(bool post, const QString& url, const QJsonObject& body = {})
{
    return post ? HttpRequest::HttpPost(body, url) : HttpRequest::HttpGet(url);
}

} // namespace

class TestHttpRequest : public QObject
{
    Q_OBJECT

private slots:
    void init() { Singleton<Global>::instance()->m_token = "Bearer t0k3n"; }

    // Must run first: nothing before it may have created the shared objects.
    void sharedObjectsAndCallsThatSendNothing()
    {
        MiniHttpServer server;
        server.respondJson(R"({"code":0})");
        QVERIFY(HttpRequest::HttpPut(server.url()).isEmpty()
            && HttpRequest::HttpDelete(server.url()).isEmpty()
            && HttpRequest::Request({ { "a", 1 } }, HttpRequest::Put, server.url()).isEmpty()
            && HttpRequest::Request({ { "a", 1 } }, HttpRequest::Post, server.url()).isEmpty());
        QVERIFY(!HttpRequestTestPeer::manager() && !HttpRequestTestPeer::timer());

        HttpRequest::HttpGet(server.url());
        QNetworkAccessManager* manager = HttpRequestTestPeer::manager();
        QTimer* timer = HttpRequestTestPeer::timer();
        QVERIFY(manager && timer && !manager->parent() && !timer->parent());
        QVERIFY(timer->interval() == 1000000 && timer->isSingleShot());
        HttpRequest::HttpPost({}, server.url());
        QVERIFY(HttpRequestTestPeer::manager() == manager && HttpRequestTestPeer::timer() == timer);
        // The calls that send nothing sent nothing later either.
        QCOMPARE(server.requests().size(), 2);
    }

    void repliesByCodeAndFailure_data()
    {
        QTest::addColumn<bool>("post");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("status"); // 0: closed unanswered, -1: never answered
        QTest::addColumn<QString>("thrown"); // null: returns the reply's object; else a pattern
        auto row = [](const QByteArray& name, bool post, const QByteArray& reply,
                       const char* thrown = nullptr, int status = 200) {
            QTest::newRow(name.constData()) << post << reply << status << QString::fromUtf8(thrown);
        };
        // First: a finished request must not be taken for a time-out afterwards,
        // although the timer fired before.
        row("GET no answer", false, "", "BIMException 0: 网络超时！", -1);
        row("POST no answer", true, "", "std::exception: Network Timeout!", -1);
        row("GET code 0 with more members", false,
            R"({"code":0,"message":"ok","data":{"id":7,"list":[1,2]}})");
        row("GET no code", false, R"({"data":"x"})");
        row("GET code as a string", false, R"({"code":"7","message":"m"})");
        row("GET html page", false, "<html><body>hello</body></html>");
        row("GET chinese message", false, R"({"code":9,"message":"无权限"})",
            "BIMException 0: 9: 无权限");
        row("GET negative code, message not text", false, R"({"code":-3,"message":12})",
            "BIMException 0: -3: ");
        row("POST code 401", true, R"({"code":401,"message":"expired"})");
        // A body that would be returned if the error were overlooked.
        const QByteArray overlooked = R"({"code":0,"data":"must not be returned"})";
        for (bool post : { false, true }) {
            row(post ? "POST 404" : "GET 404", post, overlooked, "BIMException 0: .+", 404);
            row(post ? "POST closed" : "GET closed", post, overlooked, "BIMException 0: .+", 0);
        }
    }

    void repliesByCodeAndFailure()
    {
        QFETCH(bool, post);
        QFETCH(QByteArray, reply);
        QFETCH(int, status);
        QFETCH(QString, thrown);
        MiniHttpServer server;
        server.respondFile({}, reply, status);
        ShortTimeout shortTimeout(status < 0 ? 300 : 60000);
        // The timer runs only while a request waits.
        const auto timerLeftAlone
            = qScopeGuard([] { QVERIFY(!HttpRequestTestPeer::timer()->isActive()); });
        if (thrown.isNull()) {
            QCOMPARE(call(post, server.url(), kPostBody), QJsonDocument::fromJson(reply).object());
            return;
        }
        const QString caught = raisedBy([&] { call(post, server.url(), kPostBody); });
        QVERIFY2(
            QRegularExpression("^" + thrown + "$").match(caught).hasMatch(), qPrintable(caught));
        QVERIFY(!caught.contains("must not be returned"));
    }

    // No service sends a reply this large: it is refused, whatever its JSON
    // says, instead of being held whole (or read as an empty success).
    void oversizedRepliesAreRefused_data()
    {
        QTest::addColumn<bool>("post");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<bool>("announced");
        const qint64 huge = qint64(2150) << 20;
        QTest::newRow("GET announcing 2.1 GiB") << false << huge << true;
        QTest::newRow("GET streaming 2 GiB") << false << (qint64(2) << 30) << false;
        QTest::newRow("POST streaming 2 GiB") << true << (qint64(2) << 30) << false;
    }

    void oversizedRepliesAreRefused()
    {
        QFETCH(bool, post);
        QFETCH(qint64, length);
        QFETCH(bool, announced);
        StreamingServer server(length, announced);
#ifndef Q_OS_WIN
        QFile statm("/proc/self/statm"); // the second number: pages resident now
        QVERIFY(statm.open(QIODevice::ReadOnly));
        const qint64 before = statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
#endif
        QCOMPARE(raisedBy([&] { call(post, server.url()); }),
            QStringLiteral("BIMException 0: The service's reply is larger than 256 MiB; it was "
                           "not read"));
#ifndef Q_OS_WIN
        // At most the limit was held (twice over in a sanitized build, which
        // keeps freed memory a while), never the whole reply. On Windows Qt's
        // network thread reads ahead of a busy receiver into queued pieces of
        // its own, up to 1.8 GiB seen under Wine, whatever the reply's read
        // buffer says: what the library holds cannot be told from the process.
        rusage usage {};
        QVERIFY(getrusage(RUSAGE_SELF, &usage) == 0);
        const qint64 grown = (qint64(usage.ru_maxrss) << 10) - before;
        QVERIFY2(before > 0 && grown < qint64(1536) << 20, qPrintable(QString::number(grown >> 20)));
#endif
    }

    void requestAsSent_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("requestLine");
        QTest::addColumn<QByteArray>("authorization"); // the launch token, but for "get-own"
        auto row = [](const char* name, const char* operation, const char* path,
                       const char* requestLine, const char* authorization) {
            QTest::newRow(name) << operation << path << QByteArray(requestLine)
                                << QByteArray(authorization);
        };
        row("GET with the launch token, URL parsed tolerantly", "get", "/api/a b?q=1 2",
            "GET /api/a%20b?q=1%202 HTTP/1.1", "Bearer abc.def==");
        row("GET with its own authorization", "get-own", "/", "GET / HTTP/1.1", "Basic b3du");
        row("POST with the launch token", "post", "/", "POST / HTTP/1.1", "Bearer p");
        row("download without a token", "download", "/files/a b", "GET /files/a%20b HTTP/1.1",
            "Bearer ");
    }

    void requestAsSent()
    {
        QFETCH(QString, operation);
        QFETCH(QString, path);
        QFETCH(QByteArray, requestLine);
        QFETCH(QByteArray, authorization);
        Singleton<Global>::instance()->m_token
            = operation == "get-own" ? "Bearer unused" : QString::fromUtf8(authorization);
        MiniHttpServer server;
        QTemporaryDir dir;
        server.respondFile("attachment; filename=a", R"({"code":0})");
        if (operation == "download")
            QCOMPARE(
                HttpRequest::httpDownload(server.url(path), dir.path() + '/'), dir.filePath("a"));
        else if (operation == "get-own")
            HttpRequest::HttpGet(server.url(path), authorization);
        else
            call(operation == "post", server.url(path), kPostBody);

        QCOMPARE(server.requests().size(), 1);
        const QByteArray raw = server.requests().first();
        // The request line, then these headers once each, in this order; a
        // trailing blank of a value must survive.
        QByteArrayList ours;
        for (const QByteArray& line : raw.left(raw.indexOf("\r\n\r\n") + 2).split('\n')) {
            if (ours.isEmpty() || line.startsWith("Content-Type:")
                || line.startsWith("Authorization:") || line.startsWith("endpoint:"))
                ours.append(line.chopped(1));
        }
        const QByteArray type
            = operation == "download" ? "application/octet-stream" : "application/json";
        QCOMPARE(ours,
            (QByteArrayList { requestLine, "Content-Type: " + type,
                "Authorization: " + authorization, "endpoint: PC" }));
        QVERIFY(raw.endsWith(
            "\r\n\r\n" + (operation == "post" ? QJsonDocument(kPostBody).toJson() : "")));
    }
};

QTEST_MAIN(TestHttpRequest)
#include "tst_httprequest.moc"
