#include "HttpRequestTestPeer.h"
#include "MiniHttpServer.h"

#include <core/BIMException.h>
#include <network/HttpRequest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <optional>
#include <sys/resource.h>

namespace {

QByteArray patternBody(int size)
{
    QByteArray body(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        body[i] = char((i * 7 + i / 251) & 0xff);
    return body;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable>";
}

QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
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
    void nameComesFromContentDisposition_data();
    void nameComesFromContentDisposition();
    void dirIsAPrefixThatMustExist();
    void wholeBodyArrivesAndASecondDownloadReplacesIt();
    void failuresKeepAnExistingFile_data();
    void failuresKeepAnExistingFile();
};

void TestHttpDownload::nameComesFromContentDisposition_data()
{
    QTest::addColumn<QByteArray>("disposition");
    QTest::addColumn<QString>("name"); // empty: refused
    auto row = [](const char* name, const char* disposition, const char* fileName = "") {
        QTest::newRow(name) << QByteArray(disposition) << QString::fromUtf8(fileName);
    };
    row("quoted", R"(attachment; filename="a.zip")", "a.zip");
    row("unquoted", "attachment; filename=a.zip", "a.zip");
    row("following parameters stay", R"(attachment; filename="a.zip"; size=3)", "a.zip; size=3");
    row("blanks kept", R"(attachment; filename=" my file.txt")", " my file.txt");
    row("first occurrence", "attachment; filename=x.bin; filename=y.bin", "x.bin; filename=y.bin");
    row("utf-8 name", R"(attachment; filename="模型.zip")", "模型.zip");
    row("no filename", "attachment");
    row("other case", "attachment; FileName=a.zip");
    row("no header", "");
    row("empty name", "attachment; filename=");
    row("only quotes", R"(attachment; filename="")");
    row("dot", "attachment; filename=.");
    row("dot dot", R"(attachment; filename="..")");
    row("parent", R"(attachment; filename="../x")");
    row("sub folder", "attachment; filename=a/b");
    row("absolute", R"(attachment; filename="/etc/passwd")");
    row("backslash", R"(attachment; filename="..\x")");
}

void TestHttpDownload::nameComesFromContentDisposition()
{
    QFETCH(QByteArray, disposition);
    QFETCH(QString, name);

    // The target folder sits one level down so that escapes would show.
    QTemporaryDir root;
    const QString dir = root.path() + QStringLiteral("/in/");
    QVERIFY(QDir().mkpath(dir));
    MiniHttpServer server;
    server.respondFile(disposition, "file body");
    const QString result = HttpRequest::httpDownload(server.url(QStringLiteral("/f")), dir);

    QCOMPARE(result, name.isEmpty() ? QString() : dir + name);
    QCOMPARE(entriesOf(dir), name.isEmpty() ? QStringList() : QStringList { name });
    if (!name.isEmpty())
        QCOMPARE(contentOf(result), QByteArray("file body"));
    QCOMPARE(entriesOf(root.path()), QStringList { QStringLiteral("in") });
}

void TestHttpDownload::dirIsAPrefixThatMustExist()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkdir(QStringLiteral("work")));
    MiniHttpServer server;
    server.respondFile(R"(attachment; filename="a.zip")", "zip");

    const QString noSlash = root.filePath(QStringLiteral("work"));
    QCOMPARE(HttpRequest::httpDownload(server.url(), noSlash), noSlash + QStringLiteral("a.zip"));
    QCOMPARE(contentOf(root.filePath(QStringLiteral("worka.zip"))), QByteArray("zip"));
    QCOMPARE(entriesOf(noSlash), QStringList());

    const QString missing = root.filePath(QStringLiteral("missing/"));
    QCOMPARE(HttpRequest::httpDownload(server.url(), missing), QString());
    QCOMPARE(entriesOf(root.path()), (QStringList { "work", "worka.zip" }));
}

void TestHttpDownload::wholeBodyArrivesAndASecondDownloadReplacesIt()
{
    QTemporaryDir dir;
    const QString prefix = dir.path() + QLatin1Char('/');
    const QString target = prefix + QStringLiteral("m.db");
    const QByteArray body = patternBody(24 << 20);
    MiniHttpServer server;

    server.respondFile("attachment; filename=m.db", body);
    QCOMPARE(HttpRequest::httpDownload(server.url(), prefix), target);
    QVERIFY(contentOf(target) == body);
    server.respondFile("attachment; filename=m.db", "short");
    QCOMPARE(HttpRequest::httpDownload(server.url(), prefix), target);
    QCOMPARE(contentOf(target), QByteArray("short"));
    QCOMPARE(entriesOf(prefix), QStringList { QStringLiteral("m.db") });
}

void TestHttpDownload::failuresKeepAnExistingFile_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<bool>("timesOut");
    QTest::addColumn<bool>("shortWrite");
    using B = MiniHttpServer::Behaviour;
    QTest::newRow("404") << 404 << int(B::Answer) << false << false;
    QTest::newRow("500") << 500 << int(B::Answer) << false << false;
    QTest::newRow("closed without reply") << 200 << int(B::Close) << false << false;
    QTest::newRow("closed mid-body") << 200 << int(B::HalfBodyClose) << false << false;
    QTest::newRow("no answer") << 200 << int(B::Silent) << true << false;
    QTest::newRow("stalls mid-body") << 200 << int(B::HalfBodyStall) << true << false;
    QTest::newRow("short write") << 200 << int(B::Answer) << false << true;
}

void TestHttpDownload::failuresKeepAnExistingFile()
{
    QFETCH(int, status);
    QFETCH(int, behaviour);
    QFETCH(bool, timesOut);
    QFETCH(bool, shortWrite);

    QTemporaryDir dir;
    const QString prefix = dir.path() + QLatin1Char('/');
    {
        QFile old(prefix + QStringLiteral("a.zip"));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    }
    MiniHttpServer server;
    server.respondFile(R"(attachment; filename="a.zip")", patternBody(3 << 20), status,
        MiniHttpServer::Behaviour(behaviour));
    HttpRequestTestPeer::ShortTimeout shortTimeout(timesOut ? 400 : 60000);

    QString result = QStringLiteral("<threw>");
    try {
        std::optional<FileSizeLimit> limit;
        if (shortWrite && !limit.emplace(1 << 20).active())
            QSKIP("cannot limit the file size here");
        result = HttpRequest::httpDownload(server.url(), prefix);
    } catch (const BIMException& e) {
        QVERIFY2(timesOut, qPrintable(e.m_strMessage));
        QCOMPARE(e.m_nCode, 0);
        QCOMPARE(e.m_strMessage, QStringLiteral("网络超时！"));
    }
    QCOMPARE(result, timesOut ? QStringLiteral("<threw>") : QString());
    QCOMPARE(contentOf(prefix + QStringLiteral("a.zip")), QByteArray("old"));
    QCOMPARE(entriesOf(prefix), QStringList { QStringLiteral("a.zip") });
}

QTEST_MAIN(TestHttpDownload)
#include "tst_httpdownload.moc"
