#include "FileSizeLimit.h"
#include "HttpRequestTestPeer.h"
#include "MiniHttpServer.h"

#include <bimcore/core/BIMException.h>
#include <bimcore/network/HttpRequest.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRandomGenerator>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Response = MiniHttpServer::Response;

constexpr int kSize = 1 << 20;
const QByteArray kName = "model.bin";

struct FileVersion
{
    QByteArray body;
    QByteArray etag;
    QByteArray lastModified;
};

FileVersion version(
    quint32 seed, QByteArray etag, QByteArray lastModified = "Tue, 01 Dec 2026 08:00:00 GMT")
{
    QByteArray body(kSize, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(body.data()), kSize / 4);
    return { body, std::move(etag), std::move(lastModified) };
}

QByteArray rangeHeader(const QByteArray& request)
{
    return MiniHttpServer::headerOf(request, "Range");
}

// The whole file, as any reply of a server that ignores "Range" is.
Response whole(const FileVersion& file)
{
    Response response = MiniHttpServer::fileResponse("attachment; filename=" + kName, file.body);
    if (!file.etag.isEmpty())
        response.headers.append(MiniHttpServer::Header { "ETag", file.etag });
    if (!file.lastModified.isEmpty())
        response.headers.append(MiniHttpServer::Header { "Last-Modified", file.lastModified });
    return response;
}

// The file from `from` on, labelled as starting at `labelledFrom`.
Response rest(const FileVersion& file, int from, int labelledFrom)
{
    Response response = whole(file);
    response.status = 206;
    response.reason = "Partial Content";
    response.body = file.body.mid(from);
    response.headers.append(MiniHttpServer::Header { "Content-Range",
        QByteArray("bytes %1-%2/%3")
            .replace("%1", QByteArray::number(labelledFrom))
            .replace("%2", QByteArray::number(file.body.size() - 1))
            .replace("%3", QByteArray::number(file.body.size())) });
    return response;
}

// What a server that honours "Range" and "If-Range" answers.
Response serve(const QByteArray& request, const FileVersion& file)
{
    const QByteArray range = rangeHeader(request);
    const QByteArray ifRange = MiniHttpServer::headerOf(request, "If-Range");
    if (range.isEmpty() || (ifRange != file.etag && ifRange != file.lastModified))
        return whole(file);
    const int from = range.mid(6, range.size() - 7).toInt();
    if (from >= file.body.size()) {
        Response refused = MiniHttpServer::fileResponse("", "");
        refused.status = 416;
        return refused;
    }
    return rest(file, from, from);
}

QByteArray sha256Of(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

QByteArray sha256(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// The files a cut download left, by ending: "part", "json".
QString leftover(const QString& dir, const char* ending)
{
    const QStringList found = QDir(dir).entryList(
        { QStringLiteral(".download-*.") + ending }, QDir::Files | QDir::Hidden | QDir::System);
    return found.size() == 1 ? dir + found.first() : QString();
}

QString download(const MiniHttpServer& server, const QString& dir)
{
    try {
        return HttpRequest::httpDownload(server.url("/files/model"), dir);
    } catch (const BIMException& e) {
        return QStringLiteral("threw: ") + e.m_strMessage;
    }
}

// The requests since the first `before` that ask for the file from `offset`
// on. The access manager may send a request again, on a new connection, when
// one closed early, and such a copy of an earlier call's request may come
// while a later call runs: requests are told apart by what they ask for.
QList<QByteArray> askingFrom(const MiniHttpServer& server, int before, int offset)
{
    QList<QByteArray> found;
    for (const QByteArray& request : server.requests().mid(before)) {
        if (rangeHeader(request) == "bytes=" + QByteArray::number(offset) + '-')
            found.append(request);
    }
    return found;
}

QList<QPair<qint64, qint64>> progressSeen;

void recordProgress(qint64 received, qint64 total)
{
    progressSeen.append({ received, total });
}

} // namespace

class TestDownloadResume : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_dir;

private slots:
    void init()
    {
        m_dir = m_root.path()
            + QStringLiteral("/%1/%2/").arg(QTest::currentTestFunction(), QTest::currentDataTag());
        QVERIFY(QDir().mkpath(m_dir));
        QFile old(m_dir + kName);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        progressSeen.clear();
        HttpRequest::setDownloadProgress(&recordProgress);
    }

    void cleanup() { HttpRequest::setDownloadProgress(nullptr); }

    // Each cut leaves the part and its record beside the untouched old file;
    // each next call asks for the rest; the last one puts the whole file in
    // place, byte for byte, and leaves nothing else.
    void resumesWhereItWasCut_data()
    {
        QTest::addColumn<QList<int>>("cuts"); // offsets into the file
        QTest::addColumn<QByteArray>("etag");
        QTest::addColumn<QByteArray>("ifRange");
        QTest::addColumn<bool>("stall"); // the cut is a time-out
        const QByteArray tag = "\"v1\"";
        const QByteArray date = "Tue, 01 Dec 2026 08:00:00 GMT";
        QTest::newRow("after one byte") << QList<int> { 1 } << tag << tag << false;
        QTest::newRow("after a third") << QList<int> { kSize / 3 } << tag << tag << false;
        QTest::newRow("before the last byte") << QList<int> { kSize - 1 } << tag << tag << false;
        QTest::newRow("three times")
            << QList<int> { kSize / 4, kSize / 2, kSize * 3 / 4 } << tag << tag << false;
        QTest::newRow("no tag") << QList<int> { kSize / 2 } << QByteArray() << date << false;
        QTest::newRow("weak tag") << QList<int> { kSize / 2 } << QByteArray("W/\"v1\"") << date
                                  << false;
        QTest::newRow("timed out") << QList<int> { kSize / 2 } << tag << tag << true;
    }

    void resumesWhereItWasCut()
    {
        QFETCH(QList<int>, cuts);
        QFETCH(QByteArray, etag);
        QFETCH(QByteArray, ifRange);
        QFETCH(bool, stall);
        const FileVersion file = version(1, etag);
        MiniHttpServer server;
        // What a request gets depends on the call it is for, not on its
        // order: see askingFrom.
        int call = 0;
        server.respondWith([&](const QByteArray& request) {
            Response response = serve(request, file);
            const int from = call ? cuts.at(call - 1) : 0;
            if (call < cuts.size()) {
                response.cutAfter = cuts.at(call) - from;
                response.stallAtCut = stall;
            }
            return response;
        });
        HttpRequestTestPeer::ShortTimeout shortTimeout(stall ? 500 : 60000);

        for (; call < cuts.size(); ++call) {
            progressSeen.clear();
            QCOMPARE(download(server, m_dir), stall ? "threw: 网络超时！" : "");
            QCOMPARE(entriesOf(m_dir).size(), 3); // the old file, the part, its record
            QCOMPARE(QFile(leftover(m_dir, "part")).size(), qint64(cuts.at(call)));
            QVERIFY(QFile::exists(leftover(m_dir, "json")));
            QCOMPARE(progressSeen.last(), qMakePair(qint64(cuts.at(call)), qint64(kSize)));
        }
        QFile old(m_dir + kName);
        QVERIFY(old.open(QIODevice::ReadOnly) && old.readAll() == "old");

        progressSeen.clear();
        const int before = server.requests().size();
        QCOMPARE(download(server, m_dir), m_dir + kName);
        QCOMPARE(sha256Of(m_dir + kName), sha256(file.body));
        QCOMPARE(entriesOf(m_dir), QStringList { kName });
        QCOMPARE(progressSeen.first(), qMakePair(qint64(cuts.last()), qint64(kSize)));
        QCOMPARE(progressSeen.last(), qMakePair(qint64(kSize), qint64(kSize)));
        const QList<QByteArray> asked = askingFrom(server, before, cuts.last());
        QCOMPARE(asked.size(), 1);
        QCOMPARE(MiniHttpServer::headerOf(asked.first(), "If-Range"), ifRange);
        QCOMPARE(
            MiniHttpServer::headerOf(asked.first(), "Accept-Encoding"), QByteArray("identity"));
        QCOMPARE(rangeHeader(server.requests().first()), QByteArray());
    }

    // The call after a cut at half continues the part. Bytes it holds past
    // its record (a download killed while continuing it) are dropped; a rest
    // whole by its own length but short of the file's size is not put in
    // place, and leaves nothing to continue.
    void continuesThePart_data()
    {
        QTest::addColumn<int>("pastRecord"); // bytes added to the part
        QTest::addColumn<bool>("shortRest");
        QTest::newRow("bytes past the record") << 1000 << false;
        QTest::newRow("rest short of the size") << 0 << true;
    }

    void continuesThePart()
    {
        QFETCH(int, pastRecord);
        QFETCH(bool, shortRest);
        const FileVersion file = version(1, "\"v1\"");
        MiniHttpServer server;
        bool firstCall = true;
        server.respondWith([&](const QByteArray& request) {
            Response response = serve(request, file);
            if (firstCall)
                response.cutAfter = kSize / 2;
            else if (shortRest)
                response.body.chop(10);
            return response;
        });
        QCOMPARE(download(server, m_dir), QString());
        firstCall = false;
        QFile part(leftover(m_dir, "part"));
        QVERIFY(part.open(QIODevice::Append));
        QCOMPARE(part.write(QByteArray(pastRecord, 'x')), qint64(pastRecord));
        part.close();
        QCOMPARE(download(server, m_dir), shortRest ? QString() : m_dir + kName);
        QCOMPARE(askingFrom(server, 0, kSize / 2).size(), 1);
        QCOMPARE(entriesOf(m_dir), QStringList { kName });
        QCOMPARE(sha256Of(m_dir + kName), sha256(shortRest ? "old" : file.body));
    }

    // After a cut at half, the server changes or cannot give the rest: the
    // file is fetched whole, again, and only the whole file is kept.
    void startsOverWhenTheRestCannotBeHad_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("restarts"); // asks for the whole file again
        QTest::addColumn<bool>("changed");
        QTest::newRow("ignores range") << "ignores range" << false << false;
        QTest::newRow("new version") << "new version" << false << true;
        QTest::newRow("new version, if-range ignored") << "new tag in 206" << true << true;
        QTest::newRow("new date, if-range ignored") << "new date in 206" << true << true;
        QTest::newRow("416") << "416" << true << false;
        QTest::newRow("another range") << "another range" << true << false;
        QTest::newRow("compressed rest") << "compressed rest" << true << false;
    }

    void startsOverWhenTheRestCannotBeHad()
    {
        QFETCH(QString, server);
        QFETCH(bool, restarts);
        QFETCH(bool, changed);
        const FileVersion first = version(1, "\"v1\"");
        const FileVersion second = version(2, server == "new date in 206" ? first.etag : "\"v2\"",
            "Sat, 05 Dec 2026 08:00:00 GMT");
        MiniHttpServer http;
        bool firstCall = true;
        http.respondWith([&](const QByteArray& request) {
            const bool ranged = !rangeHeader(request).isEmpty();
            Response response;
            if (firstCall) {
                response = whole(first);
                response.cutAfter = kSize / 2;
            } else if (!ranged || server == "ignores range") {
                response = whole(changed ? second : first);
            } else if (server == "new version") {
                response = serve(request, second);
            } else if (server.startsWith("new ")) {
                response = rest(second, kSize / 2, kSize / 2);
            } else if (server == "416") {
                response = MiniHttpServer::fileResponse("", "");
                response.status = 416;
            } else {
                const int from = server == "another range" ? kSize / 2 - 1 : kSize / 2;
                response = rest(first, from, from);
                if (server == "compressed rest")
                    response.headers.append(MiniHttpServer::Header { "Content-Encoding", "gzip" });
            }
            return response;
        });

        QCOMPARE(download(http, m_dir), QString());
        QVERIFY(!leftover(m_dir, "part").isEmpty());
        firstCall = false;
        const int before = http.requests().size();
        QCOMPARE(download(http, m_dir), m_dir + kName);
        QCOMPARE(sha256Of(m_dir + kName), sha256((changed ? second : first).body));
        QCOMPARE(entriesOf(m_dir), QStringList { kName });
        QCOMPARE(askingFrom(http, before, kSize / 2).size(), 1);
        QVERIFY(!restarts || rangeHeader(http.requests().last()).isEmpty());
    }

    // A cut at half that cannot be continued, or a leftover that may not be:
    // the next call asks for the whole file.
    void leftoverIsNotContinued_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("kept"); // whether the cut left a part
        QTest::newRow("no validator") << "no validator" << false;
        QTest::newRow("only a weak tag") << "only a weak tag" << false;
        QTest::newRow("compressed") << "compressed" << false;
        QTest::newRow("older than a week") << "older than a week" << true;
        QTest::newRow("record of another address") << "another address" << true;
        QTest::newRow("record counts more than the part") << "counts more" << true;
        QTest::newRow("part is a link") << "link" << true;
        QTest::newRow("held by another download") << "locked" << true;
    }

    void leftoverIsNotContinued()
    {
        QFETCH(QString, what);
        QFETCH(bool, kept);
        const QByteArray tag = what == "no validator" ? ""
            : what == "only a weak tag"               ? "W/\"v1\""
                                                      : "\"v1\"";
        FileVersion file = version(1, tag);
        if (what == "no validator" || what == "only a weak tag")
            file.lastModified.clear();
        MiniHttpServer server;
        bool firstCall = true;
        server.respondWith([&](const QByteArray& request) {
            Response response = serve(request, file);
            if (firstCall) {
                response.cutAfter = kSize / 2;
                if (what == "compressed") {
                    // qCompress makes a zlib stream behind a length of 4 bytes.
                    response.headers.append(
                        MiniHttpServer::Header { "Content-Encoding", "deflate" });
                    response.body = qCompress(file.body).mid(4);
                }
            }
            return response;
        });
        QCOMPARE(download(server, m_dir), QString());
        firstCall = false;
        QCOMPARE(entriesOf(m_dir).size(), kept ? 3 : 1);

        const QString part = leftover(m_dir, "part");
        const QString record = leftover(m_dir, "json");
        const QString outside = m_root.filePath("outside");
        QLockFile otherDownload(part.left(part.size() - 5) + ".lock");
        if (what == "older than a week") {
            QFile file(part);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(
                QDateTime::currentDateTime().addDays(-8), QFileDevice::FileModificationTime));
        } else if (what == "another address" || what == "counts more") {
            QFile file(record);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
            if (what == "another address")
                object["url"] = server.url("/files/other");
            else
                object["bytes"] = kSize / 2 + 1;
            QVERIFY(file.resize(0) && file.write(QJsonDocument(object).toJson()) > 0);
        } else if (what == "link") {
            QVERIFY(QFile::rename(part, outside) && QFile::link(outside, part));
        } else if (what == "locked") {
            QVERIFY(otherDownload.tryLock(0));
        }
        const QByteArray outsideBefore = sha256Of(outside);

        QCOMPARE(download(server, m_dir), m_dir + kName);
        QCOMPARE(sha256Of(m_dir + kName), sha256(file.body));
        QCOMPARE(rangeHeader(server.requests().last()), QByteArray());
        QCOMPARE(sha256Of(outside), outsideBefore);
        if (what == "locked") {
            // Another download's files are not this one's to touch.
            QCOMPARE(QFile(part).size(), qint64(kSize / 2));
            QCOMPARE(entriesOf(m_dir).size(), 4);
        } else {
            QCOMPARE(entriesOf(m_dir), QStringList { kName });
        }
    }

    // A leftover past its week goes with the next download into its folder,
    // even when its own address is never asked for again.
    void staleLeftoversOfOtherDownloadsGo()
    {
        const FileVersion file = version(1, "\"v1\"");
        MiniHttpServer server;
        server.respondWith([&](const QByteArray& request) {
            Response response = serve(request, file);
            response.cutAfter = kSize / 2;
            return response;
        });
        QCOMPARE(HttpRequest::httpDownload(server.url("/stale"), m_dir), QString());
        const QStringList stale { leftover(m_dir, "part"), leftover(m_dir, "json") };
        for (const QString& path : stale) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(
                QDateTime::currentDateTime().addDays(-8), QFileDevice::FileModificationTime));
        }
        QCOMPARE(HttpRequest::httpDownload(server.url("/young"), m_dir), QString());
        QVERIFY(!QFile::exists(stale.at(0)) && !QFile::exists(stale.at(1)));
        QCOMPARE(entriesOf(m_dir).size(), 3);
    }

    // A length that cannot fit is refused when the reply's head comes: the
    // server then stalls, and a download that waited for the body would time
    // out instead of failing at once.
    void lengthThatCannotFitFailsBeforeWriting_data()
    {
        QTest::addColumn<QString>("limit");
        QTest::newRow("more than the disk has free") << "free space";
        QTest::newRow("more than a file may hold") << "file size";
        QTest::newRow("the rest more than a file may hold") << "file size, resuming";
    }

    void lengthThatCannotFitFailsBeforeWriting()
    {
        QFETCH(QString, limit);
        const FileVersion file = version(1, "\"v1\"");
        const bool resuming = limit.endsWith("resuming");
        MiniHttpServer server;
        bool firstCall = true;
        server.respondWith([&](const QByteArray& request) {
            Response response = serve(request, file);
            if (resuming && firstCall) {
                response.cutAfter = kSize / 2;
                return response;
            }
            if (limit == "free space") {
                const qint64 free = QStorageInfo(m_dir).bytesAvailable();
                response.framing = MiniHttpServer::Framing::Close;
                response.headers.append(
                    { "Content-Length", QByteArray::number(free + (qint64(1) << 30)) });
            }
            response.cutAfter = 1000;
            response.stallAtCut = true;
            return response;
        });
        if (resuming)
            QCOMPARE(download(server, m_dir), QString());
        firstCall = false;
        HttpRequestTestPeer::ShortTimeout shortTimeout(5000);
        progressSeen.clear();
        const auto fileLimit = limitFileSize(limit == "free space" ? 0 : kSize - 1);

        QCOMPARE(download(server, m_dir), QString());
        QFile old(m_dir + kName);
        QVERIFY(old.open(QIODevice::ReadOnly) && old.readAll() == "old");
        QCOMPARE(entriesOf(m_dir).size(), resuming ? 3 : 1);
        QVERIFY(!resuming || QFile(leftover(m_dir, "part")).size() == kSize / 2);
        QVERIFY(progressSeen.isEmpty());
    }
};

QTEST_MAIN(TestDownloadResume)
#include "tst_downloadresume.moc"
