#include "ChildProcess.h"
#include "FileTree.h"
#include "HttpRequestTestPeer.h"
#include "MiniHttpServer.h"
#include "Raised.h"

#include <bimcore/network/HttpRequest.h>

#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QtTest>

#include <zlib.h>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

using Response = MiniHttpServer::Response;
using F = MiniHttpServer::Framing;
using Hash = QCryptographicHash;
using E = HttpRequest::DownloadError;
const QByteArray kOld(200000, 'o');

QByteArray randomBody(int size)
{
    QByteArray body(size, Qt::Uninitialized);
    QRandomGenerator(1).fillRange(reinterpret_cast<quint32*>(body.data()), size / 4);
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

#ifdef Q_OS_WIN
std::wstring native(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}
#endif

// The file written, or what the download raised.
QString download(const QString& url, const QString& dir)
{
    QString written;
    const QString raised = raisedBy([&] { written = HttpRequest::httpDownload(url, dir); });
    return raised == "nothing" ? written : raised;
}

// A file server that honours "Range" and "If-Range"; the n-th request's
// reply is cut after `cuts[n]` bytes of the file, answered 416 for -2, never
// answered for -3, or its head sent and nothing more for -4.
struct VersionedServer
{
    QByteArray body = randomBody(1 << 20);
    QByteArray etag = "\"v1\"";
    QList<int> cuts;
    bool stallAtCut = false;
    F framing = F::Length;
    int trickleFirstMs = 0; // of the first reply's body
    MiniHttpServer http;

    VersionedServer()
    {
        http.respondWith([this](const QByteArray& request) {
            const int n = http.requests().size() - 1;
            const QByteArray range = MiniHttpServer::headerOf(request, "Range");
            const bool ranged
                = !range.isEmpty() && MiniHttpServer::headerOf(request, "If-Range") == etag;
            const int from = ranged ? range.mid(6).chopped(1).toInt() : 0;
            Response response = MiniHttpServer::fileResponse(
                "attachment; filename=m.bin", body.mid(from), ranged ? 206 : 200);
            if (!etag.isEmpty())
                response.headers.append("ETag: " + etag);
            if (ranged)
                response.headers.append(QString::asprintf(
                    "Content-Range: bytes %d-%d/%d", from, body.size() - 1, body.size())
                                            .toLatin1());
            const int cut = cuts.value(n, -1);
            if (cut == -2)
                response = MiniHttpServer::fileResponse("", "", 416);
            else if (cut >= 0 || cut == -4)
                response.cutAfter = qMax(cut, 0) - from;
            response.status = cut == -3 ? -1 : response.status;
            response.stallAtCut = stallAtCut || cut == -4;
            response.framing = framing;
            response.trickleMs = n == 0 ? trickleFirstMs : 0;
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

// The body in gzip (31), zlib-wrapped (15) or raw deflate (-15).
QByteArray codedAs(const QByteArray& body, int windowBits)
{
    QByteArray out(int(compressBound(uLong(body.size()))) + 32, Qt::Uninitialized);
    z_stream stream {};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.constData()));
    stream.avail_in = uInt(body.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.truncate(int(stream.total_out));
    deflateEnd(&stream);
    return out;
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

    // A fresh folder holding the old "a.zip" for every test, named after it
    // (no dots: Windows drops one that ends a folder's name).
    void init()
    {
        m_dir = m_root.path()
            + QStringLiteral("/%1/%2/").arg(
                QTest::currentTestFunction(), QString(QTest::currentDataTag()).replace('.', '_'));
        QVERIFY(QDir().mkpath(m_dir));
        QFile old(m_dir + "a.zip");
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(kOld) == kOld.size());
    }

    // One reply each; "a.zip" is either replaced whole or kept as it was.
    void reply_data()
    {
        QTest::addColumn<QByteArray>("disposition");
        QTest::addColumn<int>("status"); // -1: never answered
        QTest::addColumn<int>("framing");
        QTest::addColumn<int>("cutAfter"); // bytes of the framed body, -1 all, -2 trickled
        // Lines, those after "trailer " sent after a chunked body; %good,
        // %unpadded, %hex: the body's sha-256; %bad: another sha-512.
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<QString>("target"); // what "a.zip" is before: its mode, or "link"
        QTest::addColumn<QVariant>("outcome"); // the name written, or the error's kind
        auto row = [](const char* tag, const QVariant& outcome, const QByteArray& disposition,
                       int status = 200, F framing = F::Length, int cut = -1,
                       const char* headers = "", const char* target = "0644") {
            QTest::newRow(tag) << disposition << status << int(framing) << cut
                               << QByteArray(headers) << target << outcome;
        };
        const char* aZip = "attachment; filename=a.zip";
        row("quoted utf-8", "模型.zip", R"(attachment; filename="模型.zip")");
        row("following parameters stay", "a.zip; size=3",
            R"(attachment; filename="a.zip"; size=3)");
        row("no filename", E::RefusedName, "attachment");
        for (const char* refused : { "../x", "\x1b[31mred", "CON.txt", "lpt9", "COM¹.txt",
                 "conout$", "a.txt.", "a.txt ", "a*b", ".BimCore-Downloads", "a\u202Etxt.exe",
                 "a\u200Bb", "a\u200Db", "\uFEFFa", "a\U000E0001b", "a\u2028b", "a\u2029b" })
            row(("refused " + QByteArray(refused).toPercentEncoding()).constData(), E::RefusedName,
                QByteArray("attachment; filename=\"") + refused + '"');
        // With a version, a body fetched for a name that cannot be made would
        // stay behind as a part.
        row("name too long", E::RefusedName, "attachment; filename=" + QByteArray(300, 'n'), 200,
            F::Length, -1, "ETag: \"v1\"");
        row("extended name over filename", "a.zip",
            R"(attachment; filename="a.zip"; filename*=UTF-8''a.zip)");
        row("extended name utf-8", "模型.zip",
            "attachment; filename*=utf-8'zh'%E6%A8%A1%E5%9E%8B.zip");
        row("extended name latin-1", "ä.zip", "attachment; filename*=ISO-8859-1''%E4.zip");
        for (const char* undecodable : { "UTF-8''%E4.zip", "UTF-8''a%G1.zip", "UTF-16''a" })
            row(("undecodable " + QByteArray(undecodable).toPercentEncoding()).constData(),
                E::RefusedName,
                QByteArray("attachment; filename*=") + undecodable + "; filename=b.zip");
        for (int status : { 202, 204, 206, 304, 404 })
            row(QByteArray::number(status), E::HttpStatus, aZip, status);
        row("two lengths", E::BadReply, aZip, 200, F::Close, -1,
            "Content-Length: 10\nContent-Length: 1000");
        row("length too large", E::BadReply, aZip, 200, F::Close, -1,
            "Content-Length: 99999999999999999999");
        row("length and chunks", E::BadReply, aZip, 200, F::Chunked, -1, "Content-Length: 100000");
        row("cut, length", E::Cut, aZip, 200, F::Length, 50000);
        row("chunked", "a.zip", aZip, 200, F::Chunked);
        row("chunked cut in a chunk", E::Cut, aZip, 200, F::Chunked, 50000);
        // Every byte of the body there, in 16 KiB chunks, but no last chunk.
        row("chunked, last chunk missing", E::Cut, aZip, 200, F::Chunked, 100000 + 6 * 8 + 7);
        row("no length", "a.zip", aZip, 200, F::Close);
        row("digest matches", "a.zip", aZip, 200, F::Length, -1, "Repr-Digest: sha-256=:%good:");
        row("digest differs", E::DigestMismatch, aZip, 200, F::Length, -1,
            "Repr-Digest: sha-512=:%bad:");
        row("old digest differs", E::DigestMismatch, aZip, 200, F::Length, -1,
            "Digest: SHA-512=%bad");
        row("old digest in hex", "a.zip", aZip, 200, F::Length, -1, "Digest: sha-256=%hex");
        row("digest too short", E::BadReply, aZip, 200, F::Length, -1,
            "Repr-Digest: sha-256=:abc:");
        row("digest unpadded", E::BadReply, aZip, 200, F::Length, -1,
            "Repr-Digest: sha-256=:%unpadded:");
        row("digest with a stray character", E::BadReply, aZip, 200, F::Length, -1,
            "Repr-Digest: sha-256=:%good.:");
        row("trailer digest ignored", "a.zip", aZip, 200, F::Chunked, -1,
            "Repr-Digest: sha-256=:%good:\ntrailer Repr-Digest: sha-512=:%bad:");
        row("trickle", E::Cut, aZip, 200, F::Length, -2);
        row("no answer", E::TimedOut, aZip, -1);
        row("no room", E::DiskFull, aZip, 200, F::Close, -1, "Content-Length: 999999999999999");
        // On Windows the mode is the read-only attribute; the row keeps the
        // file hidden there.
        row("mode kept", "a.zip", aZip, 200, F::Length, -1, "", "0600");
        row("read-only target", E::TargetRefused, aZip, 200, F::Length, -1, "", "0444");
        row("setuid dropped", "a.zip", aZip, 200, F::Length, -1, "", "4755");
        row("setuid and setgid dropped", "a.zip", aZip, 200, F::Length, -1, "", "6755");
        row("link replaced", "a.zip", aZip, 200, F::Length, -1, "", "link");
    }

    void reply()
    {
        QFETCH(QByteArray, disposition);
        QFETCH(int, status);
        QFETCH(int, framing);
        QFETCH(int, cutAfter);
        QFETCH(QByteArray, headers);
        QFETCH(QString, target);
        QFETCH(QVariant, outcome);
        const bool written = outcome.type() == QVariant::String;
        const QString name = outcome.toString();
        const int kind = written ? int(E::None) : outcome.toInt();
        const QString outside = m_dir.chopped(1) + ".outside";
        const QString zip = m_dir + "a.zip";
        if (target == "link") {
            QVERIFY(QFile::rename(zip, outside));
            if (!FileTree::makeLink(outside, zip))
                QSKIP(FileTree::kNoLinks);
        } else {
#ifdef Q_OS_WIN
            // The read-only attribute stands for the mode's write permission.
            QVERIFY(QFile::setPermissions(zip,
                QFile::ReadOwner | (target.toUInt(nullptr, 8) & 0200 ? QFile::WriteOwner : QFile::Permissions())));
            QVERIFY(target != "0600"
                || ::SetFileAttributesW(native(zip).c_str(), FILE_ATTRIBUTE_HIDDEN));
#else
            QVERIFY(::chmod(QFile::encodeName(zip).constData(), target.toUInt(nullptr, 8)) == 0);
#endif
        }
        const QFile::Permissions mode = QFile::permissions(zip);
        const bool hidden = QFileInfo(zip).isHidden();
        const QByteArray body = randomBody(100000);
        const QByteArray good = Hash::hash(body, Hash::Sha256);
        headers.replace("%good", good.toBase64()).replace("%hex", good.toHex());
        headers.replace("%unpadded", good.toBase64(QByteArray::OmitTrailingEquals));
        headers.replace("%bad", Hash::hash("x", Hash::Sha512).toBase64());
        // Replies that have no body send none.
        Response response = MiniHttpServer::fileResponse(
            disposition, status == 204 || status == 304 ? QByteArray() : body, status);
        for (const QByteArray& line : headers.split('\n')) {
            if (line.startsWith("trailer "))
                response.trailers.append(line.mid(8));
            else if (!line.isEmpty())
                response.headers.append(line);
        }
        response.framing = F(framing);
        response.cutAfter = cutAfter;
        response.trickleMs = cutAfter == -2 ? 100 : 0;
        MiniHttpServer server;
        server.respond(response);
        ShortTimeout shortTimeout(status < 0 ? 400 : 4000);

        const QString result = download(server.url("/f"), m_dir);
        QCOMPARE(result,
            written                   ? m_dir + name
                : kind != E::TimedOut ? QString()
                                      : "BIMException 0: 网络超时！");
        // The text names the URL, or the file that could not be written; a
        // refused name is quoted, a status given.
        const HttpRequest::DownloadError error = HttpRequest::lastDownloadError();
        QCOMPARE(int(error.kind), kind);
        const bool file = kind == E::TargetRefused || kind == E::DiskFull;
        QVERIFY2(
            written ? error.text.isEmpty() : error.text.contains(file ? zip : server.url("/f")),
            qPrintable(error.text));
        QVERIFY(kind != E::RefusedName
            || error.text.contains(QString::fromUtf8(disposition).section('"', 1, 1)));
        QVERIFY(
            kind != E::HttpStatus || error.text.endsWith(" answered " + QString::number(status)));
        QCOMPARE(entriesOf(m_dir),
            QStringList { "a.zip" }
                + (written && name != "a.zip" ? QStringList { name } : QStringList()));
        QVERIFY(contentOf(m_dir + "a.zip") == (name == "a.zip" ? body : kOld));
        QVERIFY(!written || contentOf(m_dir + name) == body);
        const QFileInfo after(zip);
        if (target == "link")
            QVERIFY(contentOf(outside) == kOld && after.isFile() && !after.isSymLink());
        else
            QVERIFY(QFile::permissions(zip) == mode && after.isHidden() == hidden);
#ifndef Q_OS_WIN
        // Set-id bits go with the old file.
        struct stat st
        {
        };
        QVERIFY(target == "link" || ::stat(QFile::encodeName(zip).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07000), 0);
#endif
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
        // A reply that fails before its body is asked for again, version or not.
        for (const int cut : { -3, -4, 0 })
            QTest::newRow(cut == -3 ? "never answers"
                    : cut           ? "head, then nothing"
                                    : "cut after the head")
                << QList<int> { cut } << QByteArray() << QByteArrayList { "", "" } << 1;
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
        ShortTimeout shortTimeout(6000);
        // A call that gives up says so, and whether the part waits.
        for (int call = 1; call < calls; ++call) {
            QCOMPARE(download(server.http.url("/m"), m_dir), QString());
            const HttpRequest::DownloadError error = HttpRequest::lastDownloadError();
            QCOMPARE(error.kind, E::Cut);
            QVERIFY(error.text.startsWith(server.http.url("/m") + ": cut"));
            QCOMPARE(error.text.contains("kept"), !etag.isEmpty());
        }
        QCOMPARE(download(server.http.url("/m"), m_dir), m_dir + "m.bin");
        QVERIFY(contentOf(m_dir + "m.bin") == server.body);
        QCOMPARE(server.ranges(), ranges);
        QCOMPARE(entriesOf(m_dir), (QStringList { "a.zip", "m.bin" }));
    }

    // A download that ends before its body does leaves a part that the next
    // call continues: cancelled from the progress callback, ended by quitting
    // the application (which ends every event loop, the download's too, and
    // is no end of the body), killed mid-body (TerminateProcess on Windows),
    // or, on Windows, with a target that another program holds open without
    // sharing its deletion: the call says so and leaves that file whole.
    void partWaitsForTheNextCall_data()
    {
        QTest::addColumn<QString>("end");
        QTest::addColumn<int>("framing");
        QTest::addColumn<qint64>("least"); // bytes the part keeps at least, -1: no part
        QTest::newRow("cancelled") << "cancel" << int(F::Length) << qint64(1 << 18);
        QTest::newRow("quit, length") << "quit" << int(F::Length) << qint64(1);
        // With no length the part cannot be continued, and is fetched whole.
        QTest::newRow("quit, chunked") << "quit" << int(F::Chunked) << qint64(-1);
        QTest::newRow("killed") << "kill" << int(F::Length) << qint64(1);
#ifdef Q_OS_WIN
        QTest::newRow("target held") << "hold" << int(F::Length) << qint64((1 << 20) - 1);
#endif
    }

    void partWaitsForTheNextCall()
    {
        QFETCH(QString, end);
        QFETCH(int, framing);
        QFETCH(qint64, least);
        VersionedServer server;
        server.framing = F(framing);
        const QString url = server.http.url("/m");
        const auto stop = qScopeGuard([] { HttpRequest::setDownloadProgress(nullptr); });
        QFile holder(m_dir + "m.bin"); // Qt shares reading and writing, not deletion
        if (end == "cancel") {
            HttpRequest::setDownloadProgress(cancelWhenPast);
            cancelAt = least;
            QCOMPARE(download(url, m_dir), QString());
            HttpRequest::setDownloadProgress(nullptr);
            QCOMPARE(HttpRequest::lastDownloadError().kind, E::Cancelled);
            QVERIFY(HttpRequest::lastDownloadError().text.startsWith(url));
        } else if (end == "quit") {
            server.trickleFirstMs = 1;
            QString first = "not called";
            QTimer::singleShot(0, [&] { first = download(url, m_dir); });
            QTimer::singleShot(400, qApp, &QCoreApplication::quit);
            QCoreApplication::exec();
            QCOMPARE(first, QString());
        } else if (end == "kill") {
            server.body = randomBody(40 << 20);
            server.cuts = { 36 << 20 };
            server.stallAtCut = true;
            QProcess child;
            child.start(DOWNLOAD_CHILD, { url, m_dir });
            QVERIFY(QTest::qWaitFor([&] { return recordedBytes(m_dir) > 0; }, 20000));
            child.kill();
            QVERIFY(child.waitForFinished());
        } else {
            QVERIFY(holder.open(QIODevice::WriteOnly) && holder.write(kOld) == kOld.size()
                && holder.flush());
            QCOMPARE(download(url, m_dir), QString());
            QVERIFY(contentOf(m_dir + "m.bin") == kOld);
            holder.close();
        }
        const qint64 kept = recordedBytes(m_dir);
        QVERIFY2(least < 0 || end == "hold" ? kept == least : kept >= least,
            qPrintable(QString::number(kept)));
        QCOMPARE(QFile::exists(m_dir + "m.bin"), end == "hold");
        QCOMPARE(download(url, m_dir), m_dir + "m.bin");
        QVERIFY(contentOf(m_dir + "m.bin") == server.body);
        QCOMPARE(server.ranges(),
            (QByteArrayList {
                "", kept < 0 ? QByteArray() : "bytes=" + QByteArray::number(kept) + '-' }));
        QCOMPARE(entriesOf(m_dir), (QStringList { "a.zip", "m.bin" }));
    }

#ifndef Q_OS_WIN
    // A body of no announced length that would pass the file-size limit
    // fails the download, not the process.
    void fileSizeLimitEndsTheDownload()
    {
        MiniHttpServer server;
        Response response
            = MiniHttpServer::fileResponse("attachment; filename=b.zip", randomBody(1 << 20));
        response.framing = F::Chunked;
        server.respond(response);
        const ChildRun run
            = runChild(DOWNLOAD_CHILD, { server.url(), m_dir, QString::number(1 << 18) });
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(entriesOf(m_dir), QStringList { "a.zip" });
    }
#endif

    // Two processes download 40 small files each into one folder, the same
    // files or files of their own: none fails, and every file is whole.
    void processesShareTheFolder_data()
    {
        QTest::addColumn<bool>("sameUrls");
        QTest::newRow("same urls") << true;
        QTest::newRow("different urls") << false;
    }

    void processesShareTheFolder()
    {
        QFETCH(bool, sameUrls);
        // "/1/7" is the file "1-7.bin", whose bytes are its name's.
        const auto nameOf = [](QByteArray path) { return path.mid(1).replace('/', '-') + ".bin"; };
        MiniHttpServer server;
        server.respondWith([&](const QByteArray& request) {
            const QByteArray name = nameOf(request.split(' ').value(1));
            return MiniHttpServer::fileResponse("attachment; filename=" + name, name.repeated(5));
        });
        QProcess children[2];
        QStringList expected { "a.zip" };
        for (int c = 0; c < 2; ++c) {
            QStringList urls;
            for (int i = 0; i < 40; ++i) {
                const QString path = QString("/%1/%2").arg(sameUrls ? 0 : c).arg(i);
                urls << server.url(path);
                expected << nameOf(path.toLatin1());
            }
            children[c].start(DOWNLOAD_CHILD, { urls.join(' '), m_dir });
        }
        // A loop of its own, not qWaitFor's naps of 10 ms: the server answers
        // at once, so that the children's calls crowd each other.
        QEventLoop loop;
        for (QProcess& child : children)
            connect(&child, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop, [&] {
                if (children[0].state() == QProcess::NotRunning
                    && children[1].state() == QProcess::NotRunning)
                    loop.quit();
            });
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        for (QProcess& child : children) {
            QCOMPARE(child.state(), QProcess::NotRunning);
            QCOMPARE(child.exitStatus(), QProcess::NormalExit);
            QCOMPARE(child.exitCode(), 0);
        }
        expected.removeDuplicates();
        expected.sort();
        QCOMPARE(entriesOf(m_dir), expected);
        for (const QString& name : expected.filter(".bin"))
            QVERIFY2(contentOf(m_dir + name) == name.toLatin1().repeated(5), qPrintable(name));
    }

    // The proxy Qt would use for the URL carries the request, whatever the
    // environment says.
    void goesThroughQtsProxy_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("no variable") << QByteArray("BIMCORE_UNUSED") << QByteArray();
        QTest::newRow("no_proxy names the host")
            << QByteArray("no_proxy") << QByteArray("files.invalid");
        QTest::newRow("NO_PROXY matches all") << QByteArray("NO_PROXY") << QByteArray("*");
    }

    void goesThroughQtsProxy()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        const bool wasSet = qEnvironmentVariableIsSet(variable);
        const QByteArray before = qgetenv(variable);
        qputenv(variable, value);
        const auto restoreEnvironment
            = qScopeGuard([&] { wasSet ? qputenv(variable, before) : qunsetenv(variable); });
        MiniHttpServer proxy;
        proxy.respondFile("attachment; filename=a.zip", "via proxy");
        QNetworkProxy::setApplicationProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", proxy.serverPort()));
        const auto direct
            = qScopeGuard([] { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); });
        QCOMPARE(download("http://files.invalid/f", m_dir), m_dir + "a.zip");
        QVERIFY(proxy.requests().value(0).startsWith("GET http://files.invalid/f HTTP/1.1\r\n"));
        QCOMPARE(contentOf(m_dir + "a.zip"), QByteArray("via proxy"));
    }

    // To a server, the download's request carries what the REST calls' do,
    // and the cookies its reply sets are the REST calls' afterwards.
    void sendsWhatTheRestCallsSend_data()
    {
        QTest::addColumn<QByteArray>("header");
        for (const char* header : { "User-Agent", "Accept-Language", "Cookie" })
            QTest::newRow(header) << QByteArray(header);
    }

    void sendsWhatTheRestCallsSend()
    {
        QFETCH(QByteArray, header);
        ShortTimeout shortTimeout(4000);
        HttpRequestTestPeer::manager()->setCookieJar(new QNetworkCookieJar);
        MiniHttpServer server;
        server.respondWith([](const QByteArray& request) {
            const bool file = request.startsWith("GET /file ");
            Response response = file
                ? MiniHttpServer::fileResponse("attachment; filename=b.zip", "b")
                : MiniHttpServer::fileResponse("", "{}");
            response.headers.append(file ? "Set-Cookie: file=2" : "Set-Cookie: rest=1");
            return response;
        });
        QCOMPARE(raisedBy([&] { HttpRequest::HttpGet(server.url("/rest"), "t"); }), "nothing");
        QCOMPARE(raisedBy([&] { HttpRequest::HttpGet(server.url("/rest"), "t"); }), "nothing");
        QCOMPARE(download(server.url("/file"), m_dir), m_dir + "b.zip");
        QCOMPARE(raisedBy([&] { HttpRequest::HttpGet(server.url("/rest"), "t"); }), "nothing");
        const QList<QByteArray>& requests = server.requests();
        QVERIFY(!MiniHttpServer::headerOf(requests.value(1), header).isEmpty());
        QCOMPARE(MiniHttpServer::headerOf(requests.value(2), header),
            MiniHttpServer::headerOf(requests.value(1), header));
        QCOMPARE(MiniHttpServer::headerOf(requests.value(3), "Cookie"), "rest=1; file=2");
    }

    // Downloads take the TLS settings of Qt's default configuration: its
    // authorities and no other (a test authority made now is refused until
    // it is added there), its way of judging the server, and its own
    // certificate and key.
    void tls_data()
    {
        QTest::addColumn<bool>("authority"); // the test's added to the trusted ones
        QTest::addColumn<int>("mode"); // how the server is judged
        QTest::addColumn<bool>("certificate"); // the client shows the test's
        QTest::addColumn<bool>("written");
#if QT_CONFIG(ssl)
        const int verify = QSslSocket::AutoVerifyPeer;
        QTest::newRow("untrusted") << false << verify << false << false;
        QTest::newRow("authority added") << true << verify << false << true;
        QTest::newRow("server not verified")
            << false << int(QSslSocket::VerifyNone) << false << true;
        QTest::newRow("server only queried")
            << false << int(QSslSocket::QueryPeer) << false << true;
        QTest::newRow("client certificate") << true << verify << true << true;
#else
        QTest::newRow("no TLS") << false << 0 << false << false;
#endif
    }

    void tls()
    {
#if !QT_CONFIG(ssl)
        QSKIP("this Qt has no TLS");
#else
        QFETCH(bool, authority);
        QFETCH(int, mode);
        QFETCH(bool, certificate);
        QFETCH(bool, written);
        // A self-signed certificate for 127.0.0.1 is its own authority; the
        // client shows the same one.
        if (!QFile::exists(m_root.filePath("tls.pem"))) {
            QProcess openssl; // its progress dots stay out of the test's output
            openssl.start("openssl",
                QString("req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext "
                        "subjectAltName=IP:127.0.0.1 -keyout %1/tls.key -out %1/tls.pem")
                    .arg(m_root.path())
                    .split(' '));
            QVERIFY(openssl.waitForFinished() && openssl.exitCode() == 0);
        }
        const QSslCertificate ours(contentOf(m_root.filePath("tls.pem")));
        const QSslKey key(contentOf(m_root.filePath("tls.key")), QSsl::Rsa);
        MiniHttpServer server;
        server.useTls(ours, key);
        // A server socket asks for the client's certificate without requiring it.
        QSslCertificate shown;
        server.respondWith([&](const QByteArray&) {
            for (const QSslSocket* socket : server.findChildren<QSslSocket*>())
                shown = socket->peerCertificate().isNull() ? shown : socket->peerCertificate();
            return MiniHttpServer::fileResponse("attachment; filename=a.zip", "over tls");
        });
        const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
        const auto restore
            = qScopeGuard([&] { QSslConfiguration::setDefaultConfiguration(before); });
        QSslConfiguration changed = before;
        if (authority)
            changed.setCaCertificates(before.caCertificates() << ours);
        changed.setPeerVerifyMode(QSslSocket::PeerVerifyMode(mode));
        if (certificate) {
            changed.setLocalCertificate(ours);
            changed.setPrivateKey(key);
        }
        QSslConfiguration::setDefaultConfiguration(changed);
        QCOMPARE(download(server.url(), m_dir), written ? m_dir + "a.zip" : QString());
        QCOMPARE(contentOf(m_dir + "a.zip"), written ? QByteArray("over tls") : kOld);
        QCOMPARE(shown, certificate ? ours : QSslCertificate());
#endif
    }

#ifdef Q_OS_WIN
    // A short 8.3 name reaches the file that has it under its long name.
    void shortNameReplacesNothing()
    {
        const QString longName = m_dir + "a-long-file-name.zip";
        QVERIFY(QFile::copy(m_dir + "a.zip", longName));
        std::vector<wchar_t> path(32768);
        const DWORD length = ::GetShortPathNameW(native(longName).c_str(), path.data(), 32768);
        const QString shortName
            = QFileInfo(QString::fromWCharArray(path.data(), int(length))).fileName();
        if (shortName.compare(QFileInfo(longName).fileName(), Qt::CaseInsensitive) == 0)
            QSKIP("the file system gives no short names");
        MiniHttpServer server;
        server.respondFile("attachment; filename=" + shortName.toUtf8(), "zip");
        QCOMPARE(download(server.url(), m_dir), QString());
        QVERIFY(contentOf(longName) == kOld);
    }
#endif

    // Why a download wrote nothing, after one that failed for another cause
    // (a missing folder), where the reply table cannot say; `named` holds
    // what the text names, "%u" for the URL and "%d" for the folder.
    void lastError_data()
    {
        QTest::addColumn<QByteArray>("disposition");
        QTest::addColumn<int>("status"); // 0: no server
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("named");
        const QByteArray aZip = "attachment; filename=a.zip";
        QTest::newRow("written") << aZip << 200 << int(E::None) << "";
        QTest::newRow("no server") << aZip << 0 << int(E::Network) << "%u";
        QTest::newRow("missing folder") << aZip << 200 << int(E::MissingFolder) << "%dmissing/";
        QTest::newRow("folder in the way")
            << QByteArray("attachment; filename=d") << 200 << int(E::TargetRefused) << "%dd";
        // Cut before its body, then cancelled in the pause before the retry.
        QTest::newRow("cancelled before a retry") << aZip << 200 << int(E::Cancelled) << "%u";
    }

    void lastError()
    {
        QFETCH(QByteArray, disposition);
        QFETCH(int, status);
        QFETCH(int, kind);
        QFETCH(QString, named);
        QVERIFY(QDir().mkpath(m_dir + "d"));
        MiniHttpServer server;
        Response response = MiniHttpServer::fileResponse(disposition, randomBody(100000), status);
        response.cutAfter = kind == E::Cancelled ? 0 : -1;
        server.respond(response);
        const QString url = status == 0 ? "http://127.0.0.1:1/f" : server.url("/f");
        ShortTimeout shortTimeout(4000);
        QCOMPARE(download(url, m_dir + "gone/"), QString());
        QCOMPARE(HttpRequest::lastDownloadError().kind, E::MissingFolder);
        if (kind == E::Cancelled) {
            HttpRequestTestPeer::setRetryTiming(3000, 1500);
            QTimer::singleShot(300, [] { HttpRequest::cancelDownload(); });
        }
        const auto restore = qScopeGuard([] { HttpRequestTestPeer::setRetryTiming(20, 1500); });
        const QString result = download(url, kind == E::MissingFolder ? m_dir + "missing/" : m_dir);
        QCOMPARE(result.isEmpty(), kind != E::None);
        const HttpRequest::DownloadError error = HttpRequest::lastDownloadError();
        QCOMPARE(int(error.kind), kind);
        QVERIFY2(error.text.contains(named.replace("%u", url).replace("%d", m_dir)),
            qPrintable(error.text));
        QVERIFY(kind != E::None || error.text.isEmpty());
    }

    // Asked for as it is, a body coded anyway is decoded when it is a whole
    // gzip or deflate stream: `change` cuts it in half, adds bytes after its
    // end, or sends the decoded body's digest, which names other bytes.
    void coded_data()
    {
        QTest::addColumn<QByteArray>("coding");
        QTest::addColumn<int>("windowBits");
        QTest::addColumn<int>("framing");
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<int>("kind");
        auto row = [](const char* tag, const char* coding, int bits, F framing, const char* change,
                       E::Kind kind) {
            QTest::newRow(tag) << QByteArray(coding) << bits << int(framing) << QByteArray(change)
                               << int(kind);
        };
        row("gzip cut, length", "gzip", 31, F::Length, "half", E::Cut);
        row("gzip cut, chunked", "gzip", 31, F::Chunked, "half", E::Cut);
        row("deflate raw", "deflate", -15, F::Length, "", E::None);
        row("deflate with zlib wrapper", "deflate", 15, F::Chunked, "", E::None);
        row("deflate with zlib wrapper, length", "deflate", 15, F::Length, "", E::None);
        row("deflate cut, no length", "deflate", 15, F::Close, "half", E::Cut);
        row("gzip, bytes after its end", "gzip", 31, F::Length, "junk", E::BadReply);
        row("gzip, digest of the decoded body", "gzip", 31, F::Length, "digest", E::DigestMismatch);
        row("zstd", "zstd", 31, F::Length, "", E::Coding);
        row("br", "br", 31, F::Chunked, "", E::Coding);
    }

    void coded()
    {
        QFETCH(QByteArray, coding);
        QFETCH(int, windowBits);
        QFETCH(int, framing);
        QFETCH(QByteArray, change);
        QFETCH(int, kind);
        const QByteArray body = randomBody(60000) + QByteArray(60000, 'z');
        QByteArray wire = codedAs(body, windowBits);
        if (change == "half")
            wire.truncate(wire.size() / 2);
        Response response = MiniHttpServer::fileResponse(
            "attachment; filename=a.zip", change == "junk" ? wire + "junk" : wire);
        response.headers << "Content-Encoding: " + coding << "ETag: \"v1\"";
        if (change == "digest")
            response.headers << "Repr-Digest: sha-256=:" + Hash::hash(body, Hash::Sha256).toBase64()
                    + ':';
        response.framing = F(framing);
        MiniHttpServer server;
        server.respond(response);
        const QString result = download(server.url(), m_dir);
        QCOMPARE(
            MiniHttpServer::headerOf(server.requests().value(0), "Accept-Encoding"), "identity");
        QCOMPARE(int(HttpRequest::lastDownloadError().kind), kind);
        QCOMPARE(result, kind ? QString() : m_dir + "a.zip");
        QVERIFY(contentOf(m_dir + "a.zip") == (kind ? kOld : body));
        QCOMPARE(entriesOf(m_dir), QStringList { "a.zip" });
    }

    // Leftovers of other downloads go once past their week.
    void staleLeftoversGo()
    {
        const QString bookkeeping = m_dir + ".bimcore-downloads/";
        QVERIFY(QDir().mkpath(bookkeeping));
        for (const QString stem : { "old", "new" }) {
            for (const char* ending : { ".lock", ".part", ".json" }) {
                QFile file(bookkeeping + stem + ending);
                QVERIFY(file.open(QIODevice::WriteOnly));
                QVERIFY(stem == "new"
                    || file.setFileTime(QDateTime::currentDateTime().addDays(-8),
                        QFileDevice::FileModificationTime));
            }
        }
        MiniHttpServer server;
        server.respondFile("attachment; filename=b.zip", "zip");
        QCOMPARE(download(server.url(), m_dir), m_dir + "b.zip");
        QCOMPARE(entriesOf(bookkeeping), (QStringList { "new.json", "new.lock", "new.part" }));
    }

    // The folder is a prefix of the file's path.
    void dirIsAPrefixThatMustExist()
    {
        MiniHttpServer server;
        server.respondFile(R"(attachment; filename="b.zip")", "zip");
        const QString noSlash = m_dir + "work";
        QVERIFY(QDir().mkpath(noSlash));
        QCOMPARE(download(server.url(), noSlash), noSlash + "b.zip");
        // Longer than Windows' 260 characters.
        const QString deep = m_dir + QString(130, 'd') + '/' + QString(130, 'e') + '/';
        QVERIFY(QDir().mkpath(deep));
        QCOMPARE(download(server.url(), deep), deep + "b.zip");
        QCOMPARE(
            entriesOf(m_dir), (QStringList { "a.zip", QString(130, 'd'), "work", "workb.zip" }));
    }
};

QTEST_MAIN(TestHttpDownload)
#include "tst_httpdownload.moc"
