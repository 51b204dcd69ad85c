#include "HttpRequestTestPeer.h"
#include "MiniHttpServer.h"

#include <bimcore/core/BIMException.h>
#include <bimcore/network/HttpRequest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <zlib.h>

namespace {

using Response = MiniHttpServer::Response;
using F = MiniHttpServer::Framing;
const QByteArray kOld(200000, 'o');

QByteArray randomBody(int size, quint32 seed = 1)
{
    QByteArray body(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(body.data()), size / 4);
    return body;
}

// The body as a server sends it under the "Content-Encoding" given; "raw
// deflate" is a deflate stream without its zlib wrapper.
QByteArray encoded(const QByteArray& body, const QByteArray& encoding)
{
    const int bits = encoding == "gzip" ? MAX_WBITS + 16
        : encoding == "deflate"         ? MAX_WBITS
                                        : -MAX_WBITS;
    z_stream stream {};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, bits, 8, Z_DEFAULT_STRATEGY);
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

QString download(const QString& url, const QString& dir)
{
    try {
        return HttpRequest::httpDownload(url, dir);
    } catch (const BIMException& e) {
        return QStringLiteral("threw: ") + e.m_strMessage;
    }
}

// A file server that honours "Range" and "If-Range"; the n-th request's
// reply is cut after `cuts[n]` bytes of the file, or answered 416 for -2.
struct VersionedServer
{
    QByteArray body = randomBody(1 << 20);
    QByteArray etag = "\"v1\"";
    QList<int> cuts;
    bool stallAtCut = false;
    MiniHttpServer http;

    VersionedServer()
    {
        http.respondWith([this](const QByteArray& request) {
            const int n = http.requests().size() - 1;
            const QByteArray range = MiniHttpServer::headerOf(request, "Range");
            const bool ranged = !range.isEmpty() && !etag.isEmpty()
                && MiniHttpServer::headerOf(request, "If-Range") == etag;
            const int from = ranged ? range.mid(6).chopped(1).toInt() : 0;
            Response response
                = MiniHttpServer::fileResponse("attachment; filename=m.bin", body.mid(from));
            if (!etag.isEmpty())
                response.headers.append({ "ETag", etag });
            if (ranged) {
                response.status = 206;
                response.headers.append({ "Content-Range",
                    "bytes " + QByteArray::number(from) + '-' + QByteArray::number(body.size() - 1)
                        + '/' + QByteArray::number(body.size()) });
            }
            if (cuts.value(n, -1) == -2)
                response = MiniHttpServer::fileResponse("", "", 416);
            else if (cuts.value(n, -1) >= 0)
                response.cutAfter = cuts.at(n) - from;
            response.stallAtCut = stallAtCut;
            return response;
        });
    }
    QByteArrayList ranges() const
    {
        QByteArrayList found;
        for (const QByteArray& request : http.requests())
            found.append(MiniHttpServer::headerOf(request, "Range"));
        return found;
    }
};

// What the record in the hidden bookkeeping folder claims, -1 without one.
qint64 recordedBytes(const QString& dir)
{
    const QStringList found = QDir(dir + ".bimcore-downloads").entryList({ "*.json" });
    QFile record(dir + ".bimcore-downloads/" + found.value(0));
    return found.size() == 1 && record.open(QIODevice::ReadOnly)
        ? qint64(QJsonDocument::fromJson(record.readAll()).object().value("bytes").toDouble())
        : -1;
}

qint64 cancelAt = -1;
void cancelWhenPast(qint64 received, qint64)
{
    if (cancelAt >= 0 && received >= cancelAt)
        HttpRequest::cancelDownload();
}

} // namespace

class TestHttpDownload : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_dir;

private slots:
    void initTestCase() { HttpRequestTestPeer::setRetryTiming(20, 1500); }

    // A fresh folder holding the old "a.zip" for every test.
    void init()
    {
        m_dir = m_root.path()
            + QStringLiteral("/%1/%2/").arg(QTest::currentTestFunction(), QTest::currentDataTag());
        QVERIFY(QDir().mkpath(m_dir));
        QFile old(m_dir + "a.zip");
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(kOld) == kOld.size());
    }

    // One reply each; "a.zip" is either replaced whole or kept as it was.
    void reply_data()
    {
        QTest::addColumn<QByteArray>("disposition");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("framing");
        QTest::addColumn<int>("cutAfter"); // bytes of the framed body, -1 all
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QByteArray>("headers"); // lines; %good/%bad: digests
        QTest::addColumn<QString>("target"); // what "a.zip" is before
        QTest::addColumn<QString>("name"); // written, "" nothing, "threw"
        auto row = [](const char* tag, const char* name, const QByteArray& disposition,
                       int status = 200, F framing = F::Length, int cut = -1,
                       const char* encoding = "", const char* headers = "",
                       const char* target = "0644") {
            QTest::newRow(tag) << disposition << status << int(framing) << cut
                               << QByteArray(encoding) << QByteArray(headers) << target << name;
        };
        const char* aZip = "attachment; filename=a.zip";
        row("quoted", "b.zip", R"(attachment; filename="b.zip")");
        row("following parameters stay", "a.zip; size=3",
            R"(attachment; filename="a.zip"; size=3)");
        row("utf-8", "模型.zip", R"(attachment; filename="模型.zip")");
        row("no filename", "", "attachment");
        for (const char* refused : { "../x", "a/b", "..", "a\x01.txt", "\x1b[31mred", "CON.txt",
                 "lpt9", "a.txt.", "a.txt ", "x:y", "a*b", ".bimcore-downloads" })
            row(("refused " + QByteArray(refused).toPercentEncoding()).constData(), "",
                QByteArray("attachment; filename=\"") + refused + '"');
        row("NUL", "", QByteArray("attachment; filename=\"a\0b.txt\"", 30));
        for (int status : { 202, 204, 205, 206, 302, 304, 404, 500 })
            row(QByteArray::number(status), "", aZip, status);
        row("two lengths", "", aZip, 200, F::Close, -1, "",
            "Content-Length: 10\nContent-Length: 1000");
        row("length too large", "", aZip, 200, F::Close, -1, "",
            "Content-Length: 99999999999999999999");
        row("length and chunks", "", aZip, 200, F::Chunked, -1, "", "Content-Length: 100000");
        row("cut, length", "", aZip, 200, F::Length, 50000);
        row("chunked", "a.zip", aZip, 200, F::Chunked);
        row("chunked cut in a size line", "", aZip, 200, F::Chunked, 3);
        row("chunked cut in a chunk", "", aZip, 200, F::Chunked, 50000);
        row("chunked cut before the last chunk", "", aZip, 200, F::Chunked, 100055);
        row("no length", "a.zip", aZip, 200, F::Close);
        row("gzip", "a.zip", aZip, 200, F::Length, -1, "gzip");
        row("deflate", "a.zip", aZip, 200, F::Chunked, -1, "deflate");
        row("raw deflate", "a.zip", aZip, 200, F::Length, -1, "raw deflate");
        row("gzip cut, length", "", aZip, 200, F::Length, 20000, "gzip");
        row("gzip cut, chunked", "", aZip, 200, F::Chunked, 20000, "gzip");
        row("gzip cut, no length", "", aZip, 200, F::Close, 20000, "gzip");
        row("unknown encoding", "", aZip, 200, F::Length, -1, "br2");
        row("digest matches", "a.zip", aZip, 200, F::Length, -1, "",
            "Repr-Digest: sha-256=:%good:");
        row("digest differs", "", aZip, 200, F::Length, -1, "", "Repr-Digest: sha-512=:%bad:");
        row("old digest differs", "", aZip, 200, F::Length, -1, "", "Digest: SHA-256=%bad");
        row("trickle", "", aZip, 200, F::Length, -2);
        row("no answer", "threw", aZip, 200, F::Length, -3);
        row("mode kept", "a.zip", aZip, 200, F::Length, -1, "", "", "0600");
        row("read-only target", "", aZip, 200, F::Length, -1, "", "", "0444");
        row("link replaced", "a.zip", aZip, 200, F::Length, -1, "", "", "link");
        row("folder", "", aZip, 200, F::Length, -1, "", "", "folder");
    }

    void reply()
    {
        QFETCH(QByteArray, disposition);
        QFETCH(int, status);
        QFETCH(int, framing);
        QFETCH(int, cutAfter);
        QFETCH(QByteArray, encoding);
        QFETCH(QByteArray, headers);
        QFETCH(QString, target);
        QFETCH(QString, name);
        const QString outside = m_root.filePath("outside");
        QFile::remove(outside);
        QVERIFY(QFile::remove(m_dir + "a.zip"));
        if (target == "folder")
            QVERIFY(QDir().mkpath(m_dir + "a.zip/x"));
        if (target.startsWith('0') || target == "link") {
            QFile old(target == "link" ? outside : m_dir + "a.zip");
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write(kOld) == kOld.size());
            QVERIFY(target == "link"
                || chmod(QFile::encodeName(old.fileName()), target.toUInt(nullptr, 8)) == 0);
        }
        QVERIFY(target != "link" || QFile::link(outside, m_dir + "a.zip"));
        const QByteArray body = randomBody(100000);
        // Replies that have no body send none.
        const bool bodiless = status == 204 || status == 205 || status == 304;
        Response response = MiniHttpServer::fileResponse(disposition,
            bodiless                 ? QByteArray()
                : encoding.isEmpty() ? body
                                     : encoded(body, encoding),
            status);
        response.framing = F(framing);
        response.cutAfter = cutAfter;
        response.trickleMs = cutAfter == -2 ? 100 : 0;
        if (!encoding.isEmpty())
            response.headers.append(
                { "Content-Encoding", encoding == "raw deflate" ? "deflate" : encoding });
        const auto digest = [](const QByteArray& data, QCryptographicHash::Algorithm kind) {
            return QCryptographicHash::hash(data, kind).toBase64();
        };
        headers.replace("%good", digest(body, QCryptographicHash::Sha256));
        headers.replace("%bad",
            digest("x",
                headers.contains("512") ? QCryptographicHash::Sha512 : QCryptographicHash::Sha256));
        for (const QByteArray& line : headers.split('\n')) {
            if (!line.isEmpty())
                response.headers.append(
                    { line.left(line.indexOf(':')), line.mid(line.indexOf(':') + 2) });
        }
        MiniHttpServer server;
        server.respond(response,
            cutAfter == -3 ? MiniHttpServer::Behaviour::Silent : MiniHttpServer::Behaviour::Answer);
        HttpRequestTestPeer::ShortTimeout shortTimeout(cutAfter == -3 ? 400 : 4000);

        const QString result = download(server.url("/f"), m_dir);
        QCOMPARE(result,
            name == "threw"      ? "threw: 网络超时！"
                : name.isEmpty() ? QString()
                                 : m_dir + name);
        QStringList entries { "a.zip" };
        if (!name.isEmpty() && name != "a.zip" && name != "threw")
            entries.append(name);
        entries.sort();
        QCOMPARE(entriesOf(m_dir), entries);
        const bool replaced = name == "a.zip";
        if (target.startsWith('0')) {
            QVERIFY(contentOf(m_dir + "a.zip") == (replaced ? body : kOld));
            struct stat st
            {
            };
            QCOMPARE(stat(QFile::encodeName(m_dir + "a.zip"), &st), 0);
            QCOMPARE(st.st_mode & 07777, target.toUInt(nullptr, 8));
        }
        QVERIFY(name.isEmpty() || name == "threw" || contentOf(m_dir + name) == body);
        QVERIFY(target != "folder" || entriesOf(m_dir + "a.zip") == QStringList { "x" });
        QVERIFY(target != "link"
            || (contentOf(outside) == kOld && !QFileInfo(m_dir + "a.zip").isSymLink()));
    }

    // A chunked body cut before its last chunk never replaces the file.
    void cutChunksKeepTheOldFile()
    {
        MiniHttpServer server;
        Response response
            = MiniHttpServer::fileResponse("attachment; filename=a.zip", randomBody(1 << 16));
        response.framing = F::Chunked;
        response.cutAfter = (1 << 16) + 4 * 8;
        server.respond(response);
        for (int i = 0; i < 100; ++i) {
            QCOMPARE(download(server.url(), m_dir), QString());
            QVERIFY(contentOf(m_dir + "a.zip") == kOld);
        }
    }

    // Ranges asked for by each request of two calls; -2 answers 416.
    void continues_data()
    {
        QTest::addColumn<QList<int>>("cuts");
        QTest::addColumn<QByteArray>("etag");
        QTest::addColumn<QByteArrayList>("ranges");
        QTest::addColumn<int>("calls"); // the calls it takes
        const int half = 1 << 19;
        QTest::newRow("cut once, continued in the call")
            << QList<int> { half } << QByteArray("\"v1\"") << QByteArrayList { "", "bytes=524288-" }
            << 1;
        QTest::newRow("cut four times, the next call continues")
            << QList<int> { 1000, 2000, 3000, 4000 } << QByteArray("\"v1\"")
            << QByteArrayList { "", "bytes=1000-", "bytes=2000-", "bytes=3000-", "bytes=4000-" }
            << 2;
        QTest::newRow("416 starts over") << QList<int> { half, -2 } << QByteArray("\"v1\"")
                                         << QByteArrayList { "", "bytes=524288-", "" } << 1;
        QTest::newRow("no version, no retry")
            << QList<int> { half } << QByteArray() << QByteArrayList { "", "" } << 2;
    }

    void continues()
    {
        QFETCH(QList<int>, cuts);
        QFETCH(QByteArray, etag);
        QFETCH(QByteArrayList, ranges);
        QFETCH(int, calls);
        VersionedServer server;
        server.cuts = cuts;
        server.etag = etag;
        for (int call = 1; call < calls; ++call)
            QCOMPARE(download(server.http.url("/m"), m_dir), QString());
        QCOMPARE(download(server.http.url("/m"), m_dir), m_dir + "m.bin");
        QVERIFY(contentOf(m_dir + "m.bin") == server.body);
        QCOMPARE(server.ranges(), ranges);
        QCOMPARE(entriesOf(m_dir), (QStringList { "a.zip", "m.bin" }));
    }

    // Cancelled from the progress callback: the part stays for the next call.
    void cancelKeepsThePart()
    {
        VersionedServer server;
        HttpRequest::setDownloadProgress(cancelWhenPast);
        const auto stop = qScopeGuard([] {
            HttpRequest::setDownloadProgress(nullptr);
            cancelAt = -1;
        });
        cancelAt = 1 << 18;
        QCOMPARE(download(server.http.url("/m"), m_dir), QString());
        const qint64 kept = recordedBytes(m_dir);
        QVERIFY(kept >= cancelAt);
        cancelAt = -1;
        QCOMPARE(download(server.http.url("/m"), m_dir), m_dir + "m.bin");
        QVERIFY(contentOf(m_dir + "m.bin") == server.body);
        QCOMPARE(
            server.ranges(), (QByteArrayList { "", "bytes=" + QByteArray::number(kept) + '-' }));
    }

    // A download killed mid-body is continued from its last checkpoint.
    void killedDownloadResumes()
    {
        VersionedServer server;
        server.body = randomBody(40 << 20);
        server.cuts = { 36 << 20 };
        server.stallAtCut = true;
        QProcess child;
        child.start(DOWNLOAD_CHILD, { server.http.url("/m"), m_dir });
        QVERIFY(QTest::qWaitFor([&] { return recordedBytes(m_dir) > 0; }, 20000));
        child.kill();
        QVERIFY(child.waitForFinished());
        const qint64 kept = recordedBytes(m_dir);
        server.cuts = { -1, -1 };
        server.stallAtCut = false;
        QCOMPARE(download(server.http.url("/m"), m_dir), m_dir + "m.bin");
        QVERIFY(contentOf(m_dir + "m.bin") == server.body);
        QCOMPARE(server.ranges().last(), "bytes=" + QByteArray::number(kept) + '-');
    }

    // The proxy Qt would use for the URL carries the request.
    void goesThroughQtsProxy()
    {
        MiniHttpServer proxy;
        proxy.respondFile("attachment; filename=a.zip", "via proxy");
        QNetworkProxy::setApplicationProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", proxy.serverPort()));
        const auto direct
            = qScopeGuard([] { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); });
        QCOMPARE(download("http://files.invalid/f", m_dir), m_dir + "a.zip");
        QCOMPARE(MiniHttpServer::requestLineOf(proxy.requests().value(0)),
            QByteArray("GET http://files.invalid/f HTTP/1.1"));
        QCOMPARE(contentOf(m_dir + "a.zip"), QByteArray("via proxy"));
    }

    // Downloads trust the authorities of Qt's default configuration, and no
    // other: a test authority made now is refused until it is added there.
    void trustsQtsAuthorities()
    {
        // A self-signed certificate for 127.0.0.1 is its own authority.
        QProcess openssl;
        openssl.setWorkingDirectory(m_root.path());
        openssl.start("openssl",
            QString("req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext "
                    "subjectAltName=IP:127.0.0.1 -keyout tls.key -out tls.pem")
                .split(' '));
        QVERIFY(openssl.waitForFinished() && openssl.exitCode() == 0);
        const auto pem = [&](const char* name) { return contentOf(m_root.filePath(name)); };
        MiniHttpServer server;
        server.useTls(QSslCertificate(pem("tls.pem")), QSslKey(pem("tls.key"), QSsl::Rsa));
        server.respondFile("attachment; filename=a.zip", "over tls");
        QCOMPARE(download(server.url(), m_dir), QString());
        const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
        const auto restore
            = qScopeGuard([&] { QSslConfiguration::setDefaultConfiguration(before); });
        QSslConfiguration trusting = before;
        trusting.setCaCertificates(before.caCertificates() << QSslCertificate(pem("tls.pem")));
        QSslConfiguration::setDefaultConfiguration(trusting);
        QCOMPARE(download(server.url(), m_dir), m_dir + "a.zip");
        QCOMPARE(contentOf(m_dir + "a.zip"), QByteArray("over tls"));
    }

    // The folder is a prefix of the file's path, and must exist.
    void dirIsAPrefixThatMustExist()
    {
        MiniHttpServer server;
        server.respondFile(R"(attachment; filename="b.zip")", "zip");
        const QString noSlash = m_dir + "work";
        QVERIFY(QDir().mkpath(noSlash));
        QCOMPARE(download(server.url(), noSlash), noSlash + "b.zip");
        QCOMPARE(download(server.url(), m_dir + "missing/"), QString());
        QCOMPARE(entriesOf(m_dir), (QStringList { "a.zip", "work", "workb.zip" }));
    }
};

QTEST_MAIN(TestHttpDownload)
#include "tst_httpdownload.moc"
