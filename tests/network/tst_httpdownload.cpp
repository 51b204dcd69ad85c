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
#include <sys/stat.h>
#include <zlib.h>

namespace {

QByteArray patternBody(int size)
{
    QByteArray body(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        body[i] = char((i * 7 + i / 251) & 0xff);
    return body;
}

// The body as a server sends it under the "Content-Encoding" given.
QByteArray encoded(const QByteArray& body, const QByteArray& encoding)
{
    if (encoding != "gzip" && encoding != "deflate")
        return body;
    z_stream stream {};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED,
        encoding == "gzip" ? MAX_WBITS + 16 : MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(body.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.constData()));
    stream.avail_in = uInt(body.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(int(stream.total_out));
    deflateEnd(&stream);
    return out;
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
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<int>("framing");
        using B = MiniHttpServer::Behaviour;
        using F = MiniHttpServer::Framing;
        auto row = [](const char* name, const char* disposition, const char* fileName = "",
                       int status = 200, B behaviour = B::Answer, const char* failure = "",
                       const char* encoding = "", F framing = F::Length) {
            QTest::newRow(name) << QByteArray(disposition) << status << int(behaviour) << failure
                                << QString::fromUtf8(fileName) << QByteArray(encoding)
                                << int(framing);
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
        row("chunked", aZip, "a.zip", 200, B::Answer, "", "", F::Chunked);
        row("no length", aZip, "a.zip", 200, B::Answer, "", "", F::Close);
        row("gzip", aZip, "a.zip", 200, B::Answer, "", "gzip");
        row("deflate", aZip, "a.zip", 200, B::Answer, "", "deflate");
        row("gzip, chunked", aZip, "a.zip", 200, B::Answer, "", "gzip", F::Chunked);
        row("gzip-cut", aZip, "", 200, B::HalfBodyClose, "", "gzip");
        row("deflate-cut", aZip, "", 200, B::HalfBodyClose, "", "deflate");
        row("gzip-cut, no length", aZip, "", 200, B::HalfBodyClose, "", "gzip", F::Close);
        row("gzip-cut, chunked", aZip, "", 200, B::HalfBodyClose, "", "gzip", F::Chunked);
        row("unknown encoding", aZip, "", 200, B::Answer, "", "br");
    }

    void downloadInto()
    {
        QFETCH(QByteArray, disposition);
        QFETCH(int, status);
        QFETCH(int, behaviour);
        QFETCH(QString, failure);
        QFETCH(QString, name);
        QFETCH(QByteArray, encoding);
        QFETCH(int, framing);

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
        auto response = MiniHttpServer::fileResponse(disposition, encoded(body, encoding), status);
        if (!encoding.isEmpty())
            response.headers.append({ "Content-Encoding", encoding });
        response.framing = MiniHttpServer::Framing(framing);
        server.respond(response, MiniHttpServer::Behaviour(behaviour));
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

    // The name is replaced in the folder itself, whatever it held.
    void replacesTheEntry_data()
    {
        QTest::addColumn<QString>("entry"); // what "a.zip" is before
        QTest::addColumn<bool>("replaced");
        QTest::newRow("link to a file outside") << "link" << true;
        QTest::newRow("dangling link") << "dangling link" << true;
        QTest::newRow("folder") << "folder" << false;
    }

    void replacesTheEntry()
    {
        QFETCH(QString, entry);
        QFETCH(bool, replaced);

        QTemporaryDir root;
        const QString dir = root.path() + "/in/";
        const QString outside = root.filePath("outside.zip");
        const QByteArray old = "old";
        if (entry == "link") {
            QFile file(outside);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
        }
        if (entry == "folder")
            QVERIFY(QDir().mkpath(dir + "a.zip/x"));
        else
            QVERIFY(QDir().mkpath(dir) && QFile::link(outside, dir + "a.zip"));
        const QByteArray body = patternBody(5000);
        MiniHttpServer server;
        server.respondFile("attachment; filename=a.zip", body);
        const mode_t umaskBefore = umask(027);
        const auto restoreUmask = qScopeGuard([=] { umask(umaskBefore); });

        QCOMPARE(HttpRequest::httpDownload(server.url(), dir), replaced ? dir + "a.zip" : "");
        QCOMPARE(entriesOf(dir), QStringList { "a.zip" });
        if (entry == "link") {
            QCOMPARE(entriesOf(root.path()), (QStringList { "in", "outside.zip" }));
            QCOMPARE(contentOf(outside), old);
        } else {
            QCOMPARE(entriesOf(root.path()), QStringList { "in" });
        }
        if (!replaced) {
            QCOMPARE(entriesOf(dir + "a.zip"), QStringList { "x" });
            return;
        }
        struct stat st;
        QCOMPARE(lstat(QFile::encodeName(dir + "a.zip").constData(), &st), 0);
        QVERIFY(S_ISREG(st.st_mode));
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        QVERIFY(contentOf(dir + "a.zip") == body);
    }

    void gzipMembersFollowOneAnother()
    {
        QTemporaryDir dir;
        MiniHttpServer server;
        auto response = MiniHttpServer::fileResponse(
            "attachment; filename=a.txt", encoded("first,", "gzip") + encoded("second", "gzip"));
        response.headers.append(MiniHttpServer::Header("Content-Encoding", "gzip"));
        server.respond(response);
        QCOMPARE(HttpRequest::httpDownload(server.url(), dir.path() + '/'), dir.filePath("a.txt"));
        QCOMPARE(contentOf(dir.filePath("a.txt")), QByteArray("first,second"));
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
