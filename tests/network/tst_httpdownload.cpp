#include "FileSizeLimit.h"
#include "HttpRequestTestPeer.h"
#include "MiniHttpServer.h"

#include <bimcore/core/BIMException.h>
#include <bimcore/network/HttpRequest.h>

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

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

// The body as a server sends it under the "Content-Encoding" given; "gzip*2"
// is gzip in two members, one after the other.
QByteArray encoded(const QByteArray& body, const QByteArray& encoding)
{
    if (encoding == "gzip*2")
        return encoded(body.left(body.size() / 2), "gzip")
            + encoded(body.mid(body.size() / 2), "gzip");
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

} // namespace

class TestHttpDownload : public QObject
{
    Q_OBJECT

private slots:
    // Every download goes to a folder one level down that already holds "a.zip"
    // (a file unless `entry` says otherwise), so that escapes and leftovers would
    // show. The name is replaced in the folder itself, whatever it held.
    void downloadInto_data()
    {
        QTest::addColumn<QByteArray>("disposition");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<QString>("failure"); // "", "timeout" or "short write"
        QTest::addColumn<QString>("name"); // empty: nothing written
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<int>("framing");
        QTest::addColumn<QString>("entry"); // "file", "link" (outside), "dangling", "folder"
        using B = MiniHttpServer::Behaviour;
        using F = MiniHttpServer::Framing;
        auto row = [](const char* name, const char* disposition, const char* fileName = "",
                       int status = 200, B behaviour = B::Answer, const char* failure = "",
                       const char* encoding = "", F framing = F::Length) {
            QTest::newRow(name) << QByteArray(disposition) << status << int(behaviour) << failure
                                << QString::fromUtf8(fileName) << QByteArray(encoding)
                                << int(framing) << "file";
        };
        auto entryRow = [](const char* name, const char* entry, const char* fileName) {
            QTest::newRow(name) << QByteArray("attachment; filename=a.zip") << 200 << int(B::Answer)
                                << "" << QString(fileName) << QByteArray() << int(F::Length)
                                << entry;
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
        row("short write, no length", aZip, "", 200, B::Answer, "short write", "", F::Chunked);
        row("chunked", aZip, "a.zip", 200, B::Answer, "", "", F::Chunked);
        row("no length", aZip, "a.zip", 200, B::Answer, "", "", F::Close);
        row("gzip", aZip, "a.zip", 200, B::Answer, "", "gzip");
        row("deflate", aZip, "a.zip", 200, B::Answer, "", "deflate");
        row("gzip, chunked", aZip, "a.zip", 200, B::Answer, "", "gzip", F::Chunked);
        row("gzip in two members", aZip, "a.zip", 200, B::Answer, "", "gzip*2");
        row("gzip-cut", aZip, "", 200, B::HalfBodyClose, "", "gzip");
        row("deflate-cut", aZip, "", 200, B::HalfBodyClose, "", "deflate");
        row("gzip-cut, no length", aZip, "", 200, B::HalfBodyClose, "", "gzip", F::Close);
        row("gzip-cut, chunked", aZip, "", 200, B::HalfBodyClose, "", "gzip", F::Chunked);
        row("unknown encoding", aZip, "", 200, B::Answer, "", "br");
        entryRow("link to a file outside", "link", "a.zip");
        entryRow("dangling link", "dangling", "a.zip");
        entryRow("folder", "folder", "");
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
        QFETCH(QString, entry);

        QTemporaryDir root;
        const QString dir = root.path() + "/in/";
        const QString outside = root.filePath("outside.zip");
        QVERIFY(QDir().mkpath(entry == "folder" ? dir + "a.zip/x" : dir));
        // Longer than a downloaded body, so that a replacement must truncate.
        const QByteArray old(200000, 'o');
        if (entry == "file" || entry == "link") {
            QFile file(entry == "file" ? dir + "a.zip" : outside);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
        }
        QVERIFY(entry == "file" || entry == "folder" || QFile::link(outside, dir + "a.zip"));
        const mode_t umaskBefore = umask(027);
        const auto restoreUmask = qScopeGuard([=] { umask(umaskBefore); });
        const QByteArray body = patternBody(name.isEmpty() ? 3 << 20 : 100000);
        MiniHttpServer server;
        auto response = MiniHttpServer::fileResponse(disposition, encoded(body, encoding), status);
        if (!encoding.isEmpty())
            response.headers.append({ "Content-Encoding", encoding.split('*').first() });
        response.framing = MiniHttpServer::Framing(framing);
        server.respond(response, MiniHttpServer::Behaviour(behaviour));
        HttpRequestTestPeer::ShortTimeout shortTimeout(failure == "timeout" ? 400 : 60000);

        QString result;
        try {
            const auto limit = limitFileSize(failure == "short write" ? 1 << 20 : 0);
            result = HttpRequest::httpDownload(server.url("/f"), dir);
        } catch (const BIMException& e) {
            result = QStringLiteral("threw %1: %2").arg(e.m_nCode).arg(e.m_strMessage);
        }
        const QString written = name.isEmpty() ? QString() : dir + name;
        QCOMPARE(result, failure == "timeout" ? "threw 0: 网络超时！" : written);
        QStringList entries { "a.zip" };
        if (!name.isEmpty() && name != "a.zip")
            entries.append(name);
        entries.sort();
        QCOMPARE(entriesOf(dir), entries);
        QVERIFY(entry != "file" || contentOf(dir + "a.zip") == (name == "a.zip" ? body : old));
        QVERIFY(entry != "link" || contentOf(outside) == old);
        QVERIFY(entry != "folder" || entriesOf(dir + "a.zip") == QStringList { "x" });
        QCOMPARE(entriesOf(root.path()),
            (entry == "link" ? QStringList { "in", "outside.zip" } : QStringList { "in" }));
        if (name.isEmpty())
            return;
        QVERIFY(contentOf(dir + name) == body);
        struct stat st;
        QCOMPARE(lstat(QFile::encodeName(dir + name).constData(), &st), 0);
        QVERIFY(S_ISREG(st.st_mode) && (st.st_mode & 07777) == 0640);
    }

    // The folder is a prefix of the file's path, and must exist.
    void dirIsAPrefixThatMustExist()
    {
        QTemporaryDir root;
        MiniHttpServer server;
        server.respondFile(R"(attachment; filename="a.zip")", "zip");
        const QString noSlash = root.filePath("work");
        QVERIFY(QDir().mkpath(noSlash));
        QCOMPARE(HttpRequest::httpDownload(server.url(), noSlash), noSlash + "a.zip");
        QCOMPARE(HttpRequest::httpDownload(server.url(), root.filePath("missing/")), QString());
        QCOMPARE(entriesOf(root.path()), (QStringList { "work", "worka.zip" }));
        QVERIFY(entriesOf(noSlash).isEmpty() && contentOf(noSlash + "a.zip") == "zip");
    }
};

QTEST_MAIN(TestHttpDownload)
#include "tst_httpdownload.moc"
