#include "HttpRequestTestPeer.h"
#include "MiniHttpServer.h"

#include <core/BIMException.h>
#include <core/Global.h>
#include <network/HttpRequest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray patternBody(int size)
{
    QByteArray body(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        body[i] = char((i * 7 + i / 251) & 0xff);
    return body;
}

MiniHttpServer::Response fileResponse(
    const QByteArray& disposition, const QByteArray& body, int status = 200)
{
    MiniHttpServer::Response response;
    response.status = status;
    response.reason = status == 200 ? "OK" : "Not Found";
    if (!disposition.isNull())
        response.headers.append({ "Content-Disposition", disposition });
    response.body = body;
    return response;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
}

// Makes every write past the limit fail (EFBIG) instead of killing the process.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_previous);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return m_active; }

private:
    rlimit m_previous {};
    void (*m_handler)(int) = nullptr;
    bool m_active = false;
};

} // namespace

class TestHttpDownload : public QObject
{
    Q_OBJECT

private slots:
    void init() { Singleton<Global>::instance()->m_token = QStringLiteral("Bearer dl"); }

    void nameComesFromContentDisposition_data();
    void nameComesFromContentDisposition();
    void dirIsAPrefix();
    void secondDownloadReplacesTheFirst();
    void failuresKeepAnExistingFile_data();
    void failuresKeepAnExistingFile();
    void missingFolderYieldsNothing();
    void timeoutThrowsAndKeepsAnExistingFile_data();
    void timeoutThrowsAndKeepsAnExistingFile();
    void shortWriteYieldsNothing();
    void largeBodyArrivesWhole();
    void headersAreSentInOrder();
};

void TestHttpDownload::nameComesFromContentDisposition_data()
{
    QTest::addColumn<QByteArray>("disposition");
    QTest::addColumn<QString>("name"); // empty: refused

    QTest::newRow("quoted") << QByteArray(R"(attachment; filename="a.zip")") << "a.zip";
    QTest::newRow("unquoted") << QByteArray("attachment; filename=a.zip") << "a.zip";
    QTest::newRow("following parameters stay")
        << QByteArray(R"(attachment; filename="a.zip"; size=3)") << "a.zip; size=3";
    QTest::newRow("blanks kept") << QByteArray(R"(attachment; filename=" my file.txt")")
                                 << " my file.txt";
    QTest::newRow("first occurrence")
        << QByteArray("attachment; filename=x.bin; filename=y.bin") << "x.bin; filename=y.bin";
    QTest::newRow("utf-8 name") << QStringLiteral(R"(attachment; filename="模型.zip")").toUtf8()
                                << QStringLiteral("模型.zip");
    QTest::newRow("no filename") << QByteArray("attachment") << QString();
    QTest::newRow("other case") << QByteArray("attachment; FileName=a.zip") << QString();
    QTest::newRow("no header") << QByteArray() << QString();
    QTest::newRow("empty name") << QByteArray("attachment; filename=") << QString();
    QTest::newRow("only quotes") << QByteArray(R"(attachment; filename="")") << QString();
    QTest::newRow("dot") << QByteArray("attachment; filename=.") << QString();
    QTest::newRow("dot dot") << QByteArray(R"(attachment; filename="..")") << QString();
    QTest::newRow("parent") << QByteArray(R"(attachment; filename="../x")") << QString();
    QTest::newRow("sub folder") << QByteArray("attachment; filename=a/b") << QString();
    QTest::newRow("absolute") << QByteArray(R"(attachment; filename="/etc/passwd")") << QString();
    QTest::newRow("backslash") << QByteArray(R"(attachment; filename="..\x")") << QString();
}

void TestHttpDownload::nameComesFromContentDisposition()
{
    QFETCH(QByteArray, disposition);
    QFETCH(QString, name);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    // The target folder sits one level down so that escapes would show.
    const QString dir = root.path() + QStringLiteral("/in/");
    QVERIFY(QDir().mkpath(dir));

    const QByteArray body = "file body";
    MiniHttpServer server;
    server.respond(fileResponse(disposition.isEmpty() ? QByteArray() : disposition, body));
    const QString result = HttpRequest::httpDownload(server.url(QStringLiteral("/f")), dir);

    if (name.isEmpty()) {
        QCOMPARE(result, QString());
        QCOMPARE(entriesOf(dir), QStringList());
    } else {
        QCOMPARE(result, dir + name);
        QCOMPARE(entriesOf(dir), QStringList { name });
        QCOMPARE(contentOf(result), body);
    }
    QCOMPARE(entriesOf(root.path()), QStringList { QStringLiteral("in") });
}

void TestHttpDownload::dirIsAPrefix()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QVERIFY(QDir(root.path()).mkdir(QStringLiteral("work")));

    MiniHttpServer server;
    server.respond(fileResponse(R"(attachment; filename="a.zip")", "zip"));
    const QString noSlash = root.path() + QStringLiteral("/work");
    const QString result = HttpRequest::httpDownload(server.url(), noSlash);

    QCOMPARE(result, noSlash + QStringLiteral("a.zip"));
    QCOMPARE(contentOf(root.path() + QStringLiteral("/worka.zip")), QByteArray("zip"));
    QCOMPARE(entriesOf(root.path() + QStringLiteral("/work")), QStringList());
}

void TestHttpDownload::secondDownloadReplacesTheFirst()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString prefix = dir.path() + QLatin1Char('/');
    MiniHttpServer server;

    server.respond(fileResponse("attachment; filename=m.db", patternBody(100000)));
    QCOMPARE(HttpRequest::httpDownload(server.url(), prefix), prefix + QStringLiteral("m.db"));
    server.respond(fileResponse("attachment; filename=m.db", "short"));
    QCOMPARE(HttpRequest::httpDownload(server.url(), prefix), prefix + QStringLiteral("m.db"));

    QCOMPARE(contentOf(prefix + QStringLiteral("m.db")), QByteArray("short"));
    QCOMPARE(entriesOf(prefix), QStringList { QStringLiteral("m.db") });
}

void TestHttpDownload::failuresKeepAnExistingFile_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("behaviour");

    QTest::newRow("404") << 404 << int(MiniHttpServer::Behaviour::Answer);
    QTest::newRow("500") << 500 << int(MiniHttpServer::Behaviour::Answer);
    QTest::newRow("closed without reply") << 200 << int(MiniHttpServer::Behaviour::Close);
    QTest::newRow("closed mid-body") << 200 << int(MiniHttpServer::Behaviour::HalfBodyClose);
}

void TestHttpDownload::failuresKeepAnExistingFile()
{
    QFETCH(int, status);
    QFETCH(int, behaviour);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString prefix = dir.path() + QLatin1Char('/');
    writeFile(prefix + QStringLiteral("a.zip"), "old");

    MiniHttpServer server;
    MiniHttpServer::Response response
        = fileResponse(R"(attachment; filename="a.zip")", patternBody(300000), status);
    server.respond(response, MiniHttpServer::Behaviour(behaviour));

    QCOMPARE(HttpRequest::httpDownload(server.url(), prefix), QString());
    QCOMPARE(contentOf(prefix + QStringLiteral("a.zip")), QByteArray("old"));
    QCOMPARE(entriesOf(prefix), QStringList { QStringLiteral("a.zip") });
}

void TestHttpDownload::missingFolderYieldsNothing()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    MiniHttpServer server;
    server.respond(fileResponse("attachment; filename=a.zip", "data"));

    const QString missing = root.path() + QStringLiteral("/missing/");
    QCOMPARE(HttpRequest::httpDownload(server.url(), missing), QString());
    QVERIFY(!QFileInfo::exists(missing));
    QCOMPARE(entriesOf(root.path()), QStringList());
}

void TestHttpDownload::timeoutThrowsAndKeepsAnExistingFile_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::newRow("no answer") << int(MiniHttpServer::Behaviour::Silent);
    QTest::newRow("stalls mid-body") << int(MiniHttpServer::Behaviour::HalfBodyStall);
}

void TestHttpDownload::timeoutThrowsAndKeepsAnExistingFile()
{
    QFETCH(int, behaviour);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString prefix = dir.path() + QLatin1Char('/');
    writeFile(prefix + QStringLiteral("a.zip"), "old");

    MiniHttpServer server;
    server.respond(fileResponse("attachment; filename=a.zip", patternBody(200000)),
        MiniHttpServer::Behaviour(behaviour));
    HttpRequestTestPeer::ShortTimeout shortTimeout(400);

    bool thrown = false;
    try {
        HttpRequest::httpDownload(server.url(), prefix);
    } catch (const BIMException& e) {
        thrown = true;
        QCOMPARE(e.m_nCode, 0);
        QCOMPARE(e.m_strMessage, QStringLiteral("网络超时！"));
    }
    QVERIFY(thrown);
    QCOMPARE(contentOf(prefix + QStringLiteral("a.zip")), QByteArray("old"));
    QCOMPARE(entriesOf(prefix), QStringList { QStringLiteral("a.zip") });
}

void TestHttpDownload::shortWriteYieldsNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString prefix = dir.path() + QLatin1Char('/');
    writeFile(prefix + QStringLiteral("big.bin"), "old");

    MiniHttpServer server;
    server.respond(fileResponse("attachment; filename=big.bin", patternBody(3 << 20)));

    QString result;
    {
        FileSizeLimit limit(1 << 20);
        if (!limit.active())
            QSKIP("cannot limit the file size here");
        result = HttpRequest::httpDownload(server.url(), prefix);
    }
    QCOMPARE(result, QString());
    QCOMPARE(contentOf(prefix + QStringLiteral("big.bin")), QByteArray("old"));
    QCOMPARE(entriesOf(prefix), QStringList { QStringLiteral("big.bin") });
}

void TestHttpDownload::largeBodyArrivesWhole()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString prefix = dir.path() + QLatin1Char('/');
    const QByteArray body = patternBody(24 << 20);

    MiniHttpServer server;
    server.respond(fileResponse("attachment; filename=big.bin", body));
    QCOMPARE(HttpRequest::httpDownload(server.url(), prefix), prefix + QStringLiteral("big.bin"));
    QVERIFY(contentOf(prefix + QStringLiteral("big.bin")) == body);
}

void TestHttpDownload::headersAreSentInOrder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Singleton<Global>::instance()->m_token = QStringLiteral("Bearer ");
    MiniHttpServer server;
    server.respond(fileResponse("attachment; filename=a", "x"));
    HttpRequest::httpDownload(server.url(QStringLiteral("/files/a b")), dir.path() + '/');

    QCOMPARE(server.requests().size(), 1);
    const QByteArray raw = server.requests().first();
    QCOMPARE(MiniHttpServer::requestLineOf(raw), QByteArray("GET /files/a%20b HTTP/1.1"));
    QVERIFY2(raw.contains("\r\nAuthorization: Bearer \r\n"), raw.constData());
    QList<MiniHttpServer::Header> ours;
    for (const MiniHttpServer::Header& header : MiniHttpServer::headersOf(raw)) {
        if (header.first == "Content-Type" || header.first == "Authorization"
            || header.first == "endpoint")
            ours.append(header);
    }
    const QList<MiniHttpServer::Header> expected { { "Content-Type", "application/octet-stream" },
        { "Authorization", "Bearer " }, { "endpoint", "PC" } };
    QCOMPARE(ours, expected);
}

QTEST_MAIN(TestHttpDownload)
#include "tst_httpdownload.moc"
