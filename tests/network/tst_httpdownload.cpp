#include "HttpRequestTestPeer.h"
#include "MiniHttpServer.h"

#include <core/BIMException.h>
#include <network/HttpRequest.h>

#include <QDir>
#include <QFile>
#include <QScopeGuard>
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

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable>";
}

QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Makes every write past `bytes` fail (EFBIG) instead of killing the process,
// until the returned guard goes; no limit when `bytes` is 0.
auto limitFileSize(rlim_t bytes)
{
    rlimit previous {};
    getrlimit(RLIMIT_FSIZE, &previous);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = previous;
    limit.rlim_cur = bytes ? bytes : previous.rlim_cur;
    setrlimit(RLIMIT_FSIZE, &limit);
    return qScopeGuard([=] {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, handler);
    });
}

} // namespace

class TestHttpDownload : public QObject
{
    Q_OBJECT

private slots:
    // Every download goes to a folder one level down that already holds
    // "a.zip", so that escapes, leftovers and a replaced file would show.
    void downloadInto_data()
    {
        QTest::addColumn<QByteArray>("disposition");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<QString>("failure"); // "", "timeout" or "short write"
        QTest::addColumn<QString>("name"); // empty: nothing written
        using B = MiniHttpServer::Behaviour;
        auto row = [](const char* name, const char* disposition, const char* fileName = "",
                       int status = 200, B behaviour = B::Answer, const char* failure = "") {
            QTest::newRow(name) << QByteArray(disposition) << status << int(behaviour) << failure
                                << QString::fromUtf8(fileName);
        };
        row("quoted", R"(attachment; filename="b.zip")", "b.zip");
        row("unquoted, replacing the file there", "attachment; filename=a.zip", "a.zip");
        row("following parameters stay", R"(attachment; filename="a.zip"; size=3)",
            "a.zip; size=3");
        row("blanks kept", R"(attachment; filename=" my file.txt")", " my file.txt");
        row("first occurrence", "attachment; filename=x.bin; filename=y.bin",
            "x.bin; filename=y.bin");
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
        const char* aZip = "attachment; filename=a.zip";
        row("404", aZip, "", 404);
        row("500", aZip, "", 500);
        row("closed without reply", aZip, "", 200, B::Close);
        row("closed mid-body", aZip, "", 200, B::HalfBodyClose);
        row("no answer", aZip, "", 200, B::Silent, "timeout");
        row("stalls mid-body", aZip, "", 200, B::HalfBodyStall, "timeout");
        row("short write", aZip, "", 200, B::Answer, "short write");
    }

    void downloadInto()
    {
        QFETCH(QByteArray, disposition);
        QFETCH(int, status);
        QFETCH(int, behaviour);
        QFETCH(QString, failure);
        QFETCH(QString, name);

        QTemporaryDir root;
        const QString dir = root.path() + "/in/";
        QVERIFY(QDir().mkpath(dir));
        // Longer than a downloaded body, so that a replacement must truncate.
        const QByteArray old(200000, 'o');
        {
            QFile file(dir + "a.zip");
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
        }
        const QByteArray body = patternBody(name.isEmpty() ? 3 << 20 : 100000);
        MiniHttpServer server;
        server.respondFile(disposition, body, status, MiniHttpServer::Behaviour(behaviour));
        HttpRequestTestPeer::ShortTimeout shortTimeout(failure == "timeout" ? 400 : 60000);

        QString result = "<threw>";
        try {
            const auto limit = limitFileSize(failure == "short write" ? 1 << 20 : 0);
            result = HttpRequest::httpDownload(server.url("/f"), dir);
        } catch (const BIMException& e) {
            QCOMPARE(failure, "timeout");
            QCOMPARE(e.m_nCode, 0);
            QCOMPARE(e.m_strMessage, "网络超时！");
        }
        QCOMPARE(result, failure == "timeout" ? "<threw>" : name.isEmpty() ? "" : dir + name);
        QStringList entries { "a.zip" };
        if (!name.isEmpty() && name != "a.zip")
            entries.append(name);
        entries.sort();
        QCOMPARE(entriesOf(dir), entries);
        QVERIFY(contentOf(dir + "a.zip") == (name == "a.zip" ? body : old));
        if (!name.isEmpty())
            QVERIFY(contentOf(dir + name) == body);
        QCOMPARE(entriesOf(root.path()), QStringList { "in" });
    }

    void dirIsAPrefixThatMustExist()
    {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkdir("work"));
        MiniHttpServer server;
        server.respondFile(R"(attachment; filename="a.zip")", "zip");

        const QString noSlash = root.filePath("work");
        QCOMPARE(HttpRequest::httpDownload(server.url(), noSlash), noSlash + "a.zip");
        QCOMPARE(contentOf(root.filePath("worka.zip")), QByteArray("zip"));
        QCOMPARE(entriesOf(noSlash), QStringList());

        const QString missing = root.filePath("missing/");
        QCOMPARE(HttpRequest::httpDownload(server.url(), missing), QString());
        QCOMPARE(entriesOf(root.path()), (QStringList { "work", "worka.zip" }));
    }
};

QTEST_MAIN(TestHttpDownload)
#include "tst_httpdownload.moc"
