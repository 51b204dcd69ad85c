#include "HttpRequestTestPeer.h"
#include "MiniHttpServer.h"

#include <core/BIMException.h>
#include <core/Global.h>
#include <network/HttpRequest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QtTest>

#include <exception>

namespace {

// What a call threw, as "BIMException <code>: <message>", "std::exception:
// <what>" or "nothing".
template <class Call> QString thrownBy(Call call)
{
    try {
        call();
    } catch (const BIMException& e) {
        const QString thrown
            = QStringLiteral("BIMException %1: %2").arg(e.m_nCode).arg(e.m_strMessage);
        return e.what() == e.m_strMessage.toUtf8() ? thrown : thrown + " but what() is " + e.what();
    } catch (const std::exception& e) {
        return QStringLiteral("std::exception: ") + e.what();
    }
    return QStringLiteral("nothing");
}

const QJsonObject kPostBody { { "name", "楼层" }, { "ids", QJsonArray { 1, 2 } },
    { "nested", QJsonObject { { "on", true } } } };

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
        auto sendNothing = [&] {
            QVERIFY(HttpRequest::HttpPut(server.url()).isEmpty());
            QVERIFY(HttpRequest::HttpDelete(server.url()).isEmpty());
            QVERIFY(HttpRequest::Request({ { "a", 1 } }, HttpRequest::Put, server.url()).isEmpty());
            QVERIFY(
                HttpRequest::Request({ { "a", 1 } }, HttpRequest::Post, server.url()).isEmpty());
            QTest::qWait(50);
        };
        sendNothing();
        QCOMPARE(HttpRequestTestPeer::manager(), nullptr);
        QCOMPARE(HttpRequestTestPeer::timer(), nullptr);
        QCOMPARE(server.connectionCount(), 0);

        server.respondJson(R"({"code":0})");
        HttpRequest::HttpGet(server.url());
        QNetworkAccessManager* manager = HttpRequestTestPeer::manager();
        QTimer* timer = HttpRequestTestPeer::timer();
        QVERIFY(manager && timer);
        QCOMPARE(timer->interval(), 1000000);
        QVERIFY(timer->isSingleShot());
        QVERIFY2(!timer->isActive(), "the timer runs only while a request waits");
        QCOMPARE(manager->parent(), nullptr);
        QCOMPARE(timer->parent(), nullptr);

        HttpRequest::HttpPost({}, server.url());
        QCOMPARE(HttpRequestTestPeer::manager(), manager);
        QCOMPARE(HttpRequestTestPeer::timer(), timer);
        sendNothing();
        QCOMPARE(server.connectionCount(), 2);
    }

    void repliesByCodeAndFailure_data()
    {
        QTest::addColumn<bool>("post");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<QString>("thrown"); // null: returns; else a pattern of the message
        QTest::addColumn<QByteArray>("expected"); // null: the reply itself
        auto row = [](const QByteArray& name, bool post, const QByteArray& reply,
                       const char* thrown = nullptr, const QByteArray& expected = QByteArray(),
                       int status = 200, MiniHttpServer::Behaviour behaviour = {}) {
            QTest::newRow(name.constData())
                << post << reply << status << int(behaviour) << QString::fromUtf8(thrown)
                << (expected.isNull() ? reply : expected);
        };
        row("GET code 0 with more members", false,
            R"({"code":0,"message":"ok","data":{"id":7,"list":[1,2]}})");
        row("GET no code", false, R"({"data":"x"})");
        row("GET code as a string", false, R"({"code":"7","message":"m"})");
        row("GET non-integral code", false, R"({"code":2.5})");
        row("GET html page", false, "<html><body>hello</body></html>", nullptr, "{}");
        row("GET json array", false, "[1,2]", nullptr, "{}");
        row("GET code 5 without message", false, R"({"code":5})", "5: ");
        row("GET code 401 with message", false, R"({"code":401,"message":"expired"})",
            "401: expired");
        row("GET negative code, message not text", false, R"({"code":-3,"message":12})", "-3: ");
        row("GET chinese message", false, R"({"code":9,"message":"无权限"})", "9: 无权限");
        row("POST code 401", true, R"({"code":401,"message":"expired"})");
        row("POST code 0", true, R"({"code":0,"data":[1]})");
        row("POST html page", true, "<html>busy</html>", nullptr, "{}");
        row("POST empty body", true, "", nullptr, "{}");
        // A body that would be returned if the error were overlooked.
        const QByteArray overlooked = R"({"code":0,"data":"must not be returned"})";
        for (bool post : { false, true }) {
            const QByteArray verb = post ? "POST " : "GET ";
            row(verb + "404", post, overlooked, ".*Not Found.*", {}, 404);
            row(verb + "500", post, overlooked, ".*Error.*", {}, 500);
            row(verb + "closed", post, overlooked, ".+", {}, 0, MiniHttpServer::Behaviour::Close);
        }
    }

    void repliesByCodeAndFailure()
    {
        QFETCH(bool, post);
        QFETCH(QByteArray, reply);
        QFETCH(int, status);
        QFETCH(int, behaviour);
        QFETCH(QString, thrown);
        QFETCH(QByteArray, expected);
        MiniHttpServer server;
        server.respondFile({}, reply, status, MiniHttpServer::Behaviour(behaviour));
        auto call = [&] {
            return post ? HttpRequest::HttpPost({ { "x", 1 } }, server.url())
                        : HttpRequest::HttpGet(server.url());
        };
        if (thrown.isNull()) {
            QCOMPARE(call(), QJsonDocument::fromJson(expected).object());
            return;
        }
        const QString caught = thrownBy(call);
        const QRegularExpression pattern("^BIMException 0: " + thrown + "$");
        QVERIFY2(pattern.match(caught).hasMatch(), qPrintable(caught));
        QVERIFY(!caught.contains("must not be returned"));
    }

    void requestAsSent_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("requestLine");
        QTest::addColumn<QByteArray>("authorization");
        auto row = [](const char* name, const char* operation, const char* token, const char* path,
                       const char* requestLine, const char* authorization) {
            QTest::newRow(name) << operation << token << path << QByteArray(requestLine)
                                << QByteArray(authorization);
        };
        row("GET with the launch token, URL parsed tolerantly", "get",
            "Bearer abc.def==", "/api/a b?q=1 2", "GET /api/a%20b?q=1%202 HTTP/1.1",
            "Bearer abc.def==");
        row("GET without a token", "get", "Bearer ", "/", "GET / HTTP/1.1", "Bearer ");
        row("GET with its own authorization", "get-own", "Bearer unused", "/", "GET / HTTP/1.1",
            "Basic b3du");
        row("POST with the launch token", "post", "Bearer p", "/", "POST / HTTP/1.1", "Bearer p");
        row("download without a token", "download", "Bearer ", "/files/a b",
            "GET /files/a%20b HTTP/1.1", "Bearer ");
    }

    void requestAsSent()
    {
        QFETCH(QString, operation);
        QFETCH(QString, token);
        QFETCH(QString, path);
        QFETCH(QByteArray, requestLine);
        QFETCH(QByteArray, authorization);
        Singleton<Global>::instance()->m_token = token;
        MiniHttpServer server;
        QTemporaryDir dir;
        server.respondFile("attachment; filename=a", R"({"code":0})");
        if (operation == "download")
            QCOMPARE(
                HttpRequest::httpDownload(server.url(path), dir.path() + '/'), dir.filePath("a"));
        else if (operation == "post")
            HttpRequest::HttpPost(kPostBody, server.url(path));
        else if (operation == "get")
            HttpRequest::HttpGet(server.url(path));
        else
            HttpRequest::HttpGet(server.url(path), "Basic b3du");

        QCOMPARE(server.requests().size(), 1);
        const QByteArray raw = server.requests().first();
        QCOMPARE(MiniHttpServer::requestLineOf(raw), requestLine);
        // The value is checked on the raw line: a trailing blank must survive.
        QVERIFY2(raw.contains("\r\nAuthorization: " + authorization + "\r\n"), raw.constData());
        QList<MiniHttpServer::Header> ours;
        for (const MiniHttpServer::Header& header : MiniHttpServer::headersOf(raw)) {
            if (header.first == "Content-Type" || header.first == "Authorization"
                || header.first == "endpoint")
                ours.append(header);
        }
        const QByteArray contentType
            = operation == "download" ? "application/octet-stream" : "application/json";
        const QList<MiniHttpServer::Header> expected { { "Content-Type", contentType },
            { "Authorization", authorization }, { "endpoint", "PC" } };
        QCOMPARE(ours, expected);
        if (operation == "post")
            QCOMPARE(MiniHttpServer::bodyOf(raw), QJsonDocument(kPostBody).toJson());
    }

    void timeoutThrowsPerOperationAndLeavesTheTimerUsable()
    {
        {
            MiniHttpServer silent;
            silent.respond({}, MiniHttpServer::Behaviour::Silent);
            HttpRequestTestPeer::ShortTimeout shortTimeout(300);
            QCOMPARE(thrownBy([&] { HttpRequest::HttpGet(silent.url()); }),
                QStringLiteral("BIMException 0: 网络超时！"));
            QCOMPARE(thrownBy([&] { HttpRequest::HttpPost({}, silent.url()); }),
                QStringLiteral("std::exception: Network Timeout!"));
        }
        // A finished request must not be taken for a time-out afterwards, even
        // though the timer fired before.
        MiniHttpServer server;
        server.respondJson(R"({"code":0,"n":1})");
        QCOMPARE(HttpRequest::HttpGet(server.url()), (QJsonObject { { "code", 0 }, { "n", 1 } }));
        QCOMPARE(HttpRequestTestPeer::timer()->interval(), 1000000);
        QVERIFY(!HttpRequestTestPeer::timer()->isActive());
    }
};

QTEST_MAIN(TestHttpRequest)
#include "tst_httprequest.moc"
