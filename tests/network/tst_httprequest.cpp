#include "HttpRequestTestPeer.h"
#include "MiniHttpServer.h"

#include <core/BIMException.h>
#include <core/Global.h>
#include <network/HttpRequest.h>

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QtTest>

#include <exception>

namespace {

QJsonObject objectOf(const QByteArray& json)
{
    return QJsonDocument::fromJson(json).object();
}

// The message of the exception a call throws, and whether it was a
// BIMException; fails the test when nothing or something else is thrown.
struct Thrown
{
    bool isBim = false;
    int code = -1;
    QString message;
    QByteArray what;
};

template <class Call> Thrown thrownBy(Call call)
{
    Thrown thrown;
    try {
        call();
        thrown.what = "<nothing thrown>";
    } catch (const BIMException& e) {
        thrown.isBim = true;
        thrown.code = e.m_nCode;
        thrown.message = e.m_strMessage;
        thrown.what = e.what();
    } catch (const std::exception& e) {
        thrown.what = e.what();
    }
    return thrown;
}

} // namespace

class TestHttpRequest : public QObject
{
    Q_OBJECT

private slots:
    void init() { Singleton<Global>::instance()->m_token = QStringLiteral("Bearer t0k3n"); }

    // Must run first: nothing before it may have created the shared objects.
    void putDeleteAndRequestSendNothing();
    void sharedObjectsAreMadeOnceWithTheProductTimeout();
    void getReturnsOrThrowsByCode_data();
    void getReturnsOrThrowsByCode();
    void failedRequestsThrowTheErrorText_data();
    void failedRequestsThrowTheErrorText();
    void postReturnsTheObjectWhateverItsCode_data();
    void postReturnsTheObjectWhateverItsCode();
    void postSendsIndentedJson();
    void headersAreSentInOrder_data();
    void headersAreSentInOrder();
    void urlIsParsedTolerantly();
    void timeoutThrowsPerOperation();
    void managerAndTimerStayUsableAfterTimeout();
};

void TestHttpRequest::putDeleteAndRequestSendNothing()
{
    MiniHttpServer server;
    const QJsonObject body { { "a", 1 } };

    auto sendNothing = [&] {
        QVERIFY(HttpRequest::HttpPut(server.url()).isEmpty());
        QVERIFY(HttpRequest::HttpDelete(server.url()).isEmpty());
        QVERIFY(HttpRequest::Request(body, HttpRequest::Put, server.url()).isEmpty());
        QVERIFY(HttpRequest::Request(body, HttpRequest::Post, server.url()).isEmpty());
        QCoreApplication::processEvents();
    };

    sendNothing();
    QCOMPARE(HttpRequestTestPeer::manager(), nullptr);
    QCOMPARE(HttpRequestTestPeer::timer(), nullptr);
    QCOMPARE(server.connectionCount(), 0);

    server.respondJson(R"({"code":0})");
    HttpRequest::HttpGet(server.url());
    const int connections = server.connectionCount();
    sendNothing();
    QTest::qWait(50);
    QCOMPARE(server.connectionCount(), connections);
    QCOMPARE(server.requests().size(), 1);
}

void TestHttpRequest::sharedObjectsAreMadeOnceWithTheProductTimeout()
{
    MiniHttpServer server;
    server.respondJson(R"({"code":0})");
    HttpRequest::HttpGet(server.url());
    QNetworkAccessManager* manager = HttpRequestTestPeer::manager();
    QTimer* timer = HttpRequestTestPeer::timer();
    QVERIFY(manager);
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 1000000);
    QVERIFY(timer->isSingleShot());
    QVERIFY2(!timer->isActive(), "the timer runs only while a request waits");
    QCOMPARE(manager->parent(), nullptr);
    QCOMPARE(timer->parent(), nullptr);

    HttpRequest::HttpPost({}, server.url());
    QCOMPARE(HttpRequestTestPeer::manager(), manager);
    QCOMPARE(HttpRequestTestPeer::timer(), timer);
    QVERIFY(!timer->isActive());
}

void TestHttpRequest::getReturnsOrThrowsByCode_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("throws");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray withMembers = R"({"code":0,"message":"ok","data":{"id":7,"list":[1,2]}})";
    QTest::newRow("code 0 with more members") << withMembers << false << QString() << withMembers;
    QTest::newRow("no code") << QByteArray(R"({"data":"x"})") << false << QString()
                             << QByteArray(R"({"data":"x"})");
    QTest::newRow("code as a string") << QByteArray(R"({"code":"7","message":"m"})") << false
                                      << QString() << QByteArray(R"({"code":"7","message":"m"})");
    QTest::newRow("non-integral code")
        << QByteArray(R"({"code":2.5})") << false << QString() << QByteArray(R"({"code":2.5})");
    QTest::newRow("html page") << QByteArray("<html><body>hello</body></html>") << false
                               << QString() << QByteArray("{}");
    QTest::newRow("json array") << QByteArray("[1,2]") << false << QString() << QByteArray("{}");
    QTest::newRow("code 5 without message")
        << QByteArray(R"({"code":5})") << true << QStringLiteral("5: ") << QByteArray();
    QTest::newRow("code 401 with message")
        << QByteArray(R"({"code":401,"message":"expired"})") << true
        << QStringLiteral("401: expired") << QByteArray();
    QTest::newRow("negative code, message not text")
        << QByteArray(R"({"code":-3,"message":12})") << true << QStringLiteral("-3: ")
        << QByteArray();
    QTest::newRow("chinese message") << QStringLiteral(R"({"code":9,"message":"无权限"})").toUtf8()
                                     << true << QStringLiteral("9: 无权限") << QByteArray();
}

void TestHttpRequest::getReturnsOrThrowsByCode()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, throws);
    QFETCH(QString, message);
    QFETCH(QByteArray, expected);

    MiniHttpServer server;
    server.respondJson(reply);
    if (!throws) {
        QCOMPARE(HttpRequest::HttpGet(server.url()), objectOf(expected));
        return;
    }
    const Thrown thrown = thrownBy([&] { HttpRequest::HttpGet(server.url()); });
    QVERIFY2(thrown.isBim, thrown.what.constData());
    QCOMPARE(thrown.code, 0);
    QCOMPARE(thrown.message, message);
    QCOMPARE(QString::fromUtf8(thrown.what), message);
}

void TestHttpRequest::failedRequestsThrowTheErrorText_data()
{
    QTest::addColumn<bool>("post");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<QString>("mustContain");

    const int answer = int(MiniHttpServer::Behaviour::Answer);
    const int close = int(MiniHttpServer::Behaviour::Close);
    for (bool post : { false, true }) {
        const char* verb = post ? "POST" : "GET";
        QTest::addRow("%s 404", verb) << post << 404 << answer << QStringLiteral("Not Found");
        QTest::addRow("%s 500", verb) << post << 500 << answer << QStringLiteral("Error");
        QTest::addRow("%s closed", verb) << post << 0 << close << QString();
    }
}

void TestHttpRequest::failedRequestsThrowTheErrorText()
{
    QFETCH(bool, post);
    QFETCH(int, status);
    QFETCH(int, behaviour);
    QFETCH(QString, mustContain);

    MiniHttpServer server;
    MiniHttpServer::Response response;
    response.status = status;
    response.reason = status == 404 ? "Not Found" : "Error";
    // A body that would be returned if the error were overlooked.
    response.body = R"({"code":0,"data":"must not be returned"})";
    server.respond(response, MiniHttpServer::Behaviour(behaviour));

    const Thrown thrown = thrownBy([&] {
        if (post)
            HttpRequest::HttpPost({ { "k", "v" } }, server.url());
        else
            HttpRequest::HttpGet(server.url());
    });
    QVERIFY2(thrown.isBim, thrown.what.constData());
    QCOMPARE(thrown.code, 0);
    QVERIFY(!thrown.message.isEmpty());
    QVERIFY2(thrown.message.contains(mustContain), qPrintable(thrown.message));
    QVERIFY(!thrown.message.contains(QLatin1String("must not be returned")));
    QVERIFY(server.requests().size() >= 1);
}

void TestHttpRequest::postReturnsTheObjectWhateverItsCode_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("code 401") << QByteArray(R"({"code":401,"message":"expired"})")
                              << QByteArray(R"({"code":401,"message":"expired"})");
    QTest::newRow("code 0") << QByteArray(R"({"code":0,"data":[1]})")
                            << QByteArray(R"({"code":0,"data":[1]})");
    QTest::newRow("html page") << QByteArray("<html>busy</html>") << QByteArray("{}");
    QTest::newRow("empty body") << QByteArray() << QByteArray("{}");
}

void TestHttpRequest::postReturnsTheObjectWhateverItsCode()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, expected);

    MiniHttpServer server;
    server.respondJson(reply);
    QCOMPARE(HttpRequest::HttpPost({ { "x", 1 } }, server.url()), objectOf(expected));
}

void TestHttpRequest::postSendsIndentedJson()
{
    MiniHttpServer server;
    server.respondJson("{}");
    const QJsonObject body { { "name", QStringLiteral("楼层") }, { "ids", QJsonArray { 1, 2 } },
        { "nested", QJsonObject { { "on", true } } } };
    HttpRequest::HttpPost(body, server.url());

    QCOMPARE(server.requests().size(), 1);
    const QByteArray request = server.requests().first();
    QVERIFY(MiniHttpServer::requestLineOf(request).startsWith("POST / "));
    QCOMPARE(MiniHttpServer::bodyOf(request), QJsonDocument(body).toJson(QJsonDocument::Indented));
}

void TestHttpRequest::headersAreSentInOrder_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QByteArray>("authorization");

    QTest::newRow("GET with the launch token")
        << "get" << QStringLiteral("Bearer abc.def==") << QByteArray("Bearer abc.def==");
    QTest::newRow("GET without a token")
        << "get" << QStringLiteral("Bearer ") << QByteArray("Bearer ");
    QTest::newRow("GET with its own authorization")
        << "get-own" << QStringLiteral("Bearer unused") << QByteArray("Basic b3du");
    QTest::newRow("POST with the launch token")
        << "post" << QStringLiteral("Bearer p") << QByteArray("Bearer p");
}

void TestHttpRequest::headersAreSentInOrder()
{
    QFETCH(QString, operation);
    QFETCH(QString, token);
    QFETCH(QByteArray, authorization);

    Singleton<Global>::instance()->m_token = token;
    MiniHttpServer server;
    server.respondJson(R"({"code":0})");
    if (operation == QLatin1String("get"))
        HttpRequest::HttpGet(server.url());
    else if (operation == QLatin1String("get-own"))
        HttpRequest::HttpGet(server.url(), QStringLiteral("Basic b3du"));
    else
        HttpRequest::HttpPost({}, server.url());

    QCOMPARE(server.requests().size(), 1);
    const QByteArray raw = server.requests().first();
    // The value is checked on the raw line: a trailing blank must survive.
    QVERIFY2(raw.contains("\r\nAuthorization: " + authorization + "\r\n"), raw.constData());

    QList<MiniHttpServer::Header> ours;
    for (const MiniHttpServer::Header& header : MiniHttpServer::headersOf(raw)) {
        if (header.first == "Content-Type" || header.first == "Authorization"
            || header.first == "endpoint")
            ours.append(header);
    }
    const QList<MiniHttpServer::Header> expected { { "Content-Type", "application/json" },
        { "Authorization", authorization }, { "endpoint", "PC" } };
    QCOMPARE(ours, expected);
}

void TestHttpRequest::urlIsParsedTolerantly()
{
    MiniHttpServer server;
    server.respondJson(R"({"code":0})");
    HttpRequest::HttpGet(server.url(QStringLiteral("/api/a b?q=1 2")));
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(MiniHttpServer::requestLineOf(server.requests().first()),
        QByteArray("GET /api/a%20b?q=1%202 HTTP/1.1"));
}

void TestHttpRequest::timeoutThrowsPerOperation()
{
    MiniHttpServer server;
    server.respond({}, MiniHttpServer::Behaviour::Silent);
    HttpRequestTestPeer::ShortTimeout shortTimeout(300);

    const Thrown get = thrownBy([&] { HttpRequest::HttpGet(server.url()); });
    QVERIFY2(get.isBim, get.what.constData());
    QCOMPARE(get.code, 0);
    QCOMPARE(get.message, QStringLiteral("网络超时！"));

    const Thrown post = thrownBy([&] { HttpRequest::HttpPost({}, server.url()); });
    QVERIFY2(!post.isBim, "a POST time-out is a plain standard exception");
    QCOMPARE(post.what, QByteArray("Network Timeout!"));
}

void TestHttpRequest::managerAndTimerStayUsableAfterTimeout()
{
    {
        MiniHttpServer silent;
        silent.respond({}, MiniHttpServer::Behaviour::Silent);
        HttpRequestTestPeer::ShortTimeout shortTimeout(200);
        QVERIFY(thrownBy([&] { HttpRequest::HttpGet(silent.url()); }).isBim);
    }
    // A finished request must not be taken for a time-out afterwards, even
    // though the timer fired before.
    MiniHttpServer server;
    server.respondJson(R"({"code":0,"n":1})");
    QCOMPARE(HttpRequest::HttpGet(server.url()), objectOf(R"({"code":0,"n":1})"));
    QCOMPARE(HttpRequestTestPeer::timer()->interval(), 1000000);
    QVERIFY(!HttpRequestTestPeer::timer()->isActive());
}

QTEST_MAIN(TestHttpRequest)
#include "tst_httprequest.moc"
