// The demo host's commands other than the demo itself, and how its failures
// reach the user: one line on standard error and a non-zero status.
#include "HostProcess.h"
#include "MiniHttpServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

const QString kHost = QStringLiteral(BIMHOST_PATH);
const QString kKey = QStringLiteral(SAMPLE_KEY);

QStringList projectArguments(
    const QString& command, const QString& folder, const QString& key = kKey)
{
    return { command, QStringLiteral("--userID=u-1"), QStringLiteral("--token=tok"),
        QStringLiteral("--projectId=" SAMPLE_ID), QStringLiteral("--projectKey=") + key,
        QStringLiteral("--projectPath=") + folder };
}

bool copyStore(const QString& revision, const QString& store)
{
    const QString source = QStringLiteral(SAMPLES_DIR "/%1/%2/").arg(revision, kKey);
    const QString target = store + QLatin1Char('/') + kKey + QLatin1Char('/');
    QDir().mkpath(target);
    for (const char* name : { "KBMProjectTemplate.Tessel", "KBMProjectTemplate.db" }) {
        QFile::remove(target + QLatin1String(name));
        if (!QFile::copy(source + QLatin1String(name), target + QLatin1String(name)))
            return false;
    }
    return true;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A failure is one line "bimhost: ..." on standard error, nothing on
// standard output.
void verifyOneErrorLine(const HostProcess::Result& result, int exitCode, const QString& fragment)
{
    QVERIFY2(result.finished, qPrintable(result.err));
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.startsWith(QLatin1String("bimhost: ")), qPrintable(result.err));
    QVERIFY2(result.err.endsWith(QLatin1Char('\n')) && result.err.count(QLatin1Char('\n')) == 1,
        qPrintable(result.err));
    QVERIFY2(result.err.contains(fragment), qPrintable(result.err));
}

} // namespace

class BimHostTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void help();
    void misuse_data();
    void misuse();
    void projectFailures_data();
    void projectFailures();
    void progressOnATerminal();
    void workspaceFolders();
    void workspaceReadOnlyEntries();
    void getPrintsTheReply_data();
    void getPrintsTheReply();
    void getServiceError();
    void postSendsTheBody_data();
    void postSendsTheBody();
    void download();
    void downloadRefused();
};

void BimHostTest::help()
{
    HostProcess host;
    const HostProcess::Result result = host.run(kHost, { QStringLiteral("--help") });
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);
    for (const char* word : { "--userID", "--account", "--displayName", "--token", "--userToken",
             "--pwd", "--tenantID", "--productCode", "--projectService", "--collaborationService",
             "--vizHubApiService", "--vizHubFileService", "--cloudDomain", "--projectId",
             "--projectKey", "--projectPath", "--projectCacheDir", "--gui", "--screenshot", "open",
             "update", "get URL", "post URL", "download URL DIR", "workspace create",
             "workspace list", "workspace clear", "workspace remove", "BIMCORE_CENTRAL_STORE" })
        QVERIFY2(result.out.contains(QLatin1String(word)), word);
}

void BimHostTest::misuse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("fragment");
    const QString folder = QStringLiteral("/nonexistent/project");
    QTest::newRow("no command") << QStringList {} << QStringLiteral("no command given");
    QTest::newRow("unknown command")
        << QStringList { QStringLiteral("fly") } << QStringLiteral("unknown command \"fly\"");
    QTest::newRow("launch parameter without =")
        << QStringList { QStringLiteral("open"), QStringLiteral("--userID"), QStringLiteral("u") }
        << QStringLiteral("write --userID=VALUE");
    QTest::newRow("project folder missing from the command line")
        << QStringList { QStringLiteral("open"), QStringLiteral("--userID=u") }
        << QStringLiteral("open needs --projectId=");
    QTest::newRow("identifier not a number")
        << (QStringList { QStringLiteral("open"), QStringLiteral("--userID=u"),
               QStringLiteral("--projectId=12ab"), QStringLiteral("--projectKey=k"),
               QStringLiteral("--projectPath=") + folder })
        << QStringLiteral("--projectId must be a whole number");
    QStringList anonymous = projectArguments(QStringLiteral("open"), folder);
    anonymous.removeAt(1); // --userID
    QTest::newRow("nobody signed in") << anonymous << QStringLiteral("no user is signed in");
    QTest::newRow("screenshot without window") << projectArguments(QStringLiteral("open"), folder)
            + QStringList { QStringLiteral("--screenshot=a.png") }
                                               << QStringLiteral("--screenshot needs --gui");
    QTest::newRow("window for a REST call") << QStringList {
        QStringLiteral("get"), QStringLiteral("http://127.0.0.1/"), QStringLiteral("--gui")
    } << QStringLiteral("--gui and --screenshot go with open and update");
    QTest::newRow("too many arguments") << QStringList { QStringLiteral("get"), QStringLiteral("a"),
        QStringLiteral("b") } << QStringLiteral("get takes 1 argument(s), not 2");
    QTest::newRow("unknown folder operation") << QStringList {
        QStringLiteral("workspace"), QStringLiteral("copy"), QStringLiteral("/tmp")
    } << QStringLiteral("workspace takes create, list, clear or remove");
    QTest::newRow("body that is no JSON") << QStringList { QStringLiteral("post"),
        QStringLiteral("http://127.0.0.1:1/"), QStringLiteral("{oops") }
                                          << QStringLiteral("the body is no JSON");
    QTest::newRow("body that is no object") << QStringList { QStringLiteral("post"),
        QStringLiteral("http://127.0.0.1:1/"), QStringLiteral("[1]") }
                                            << QStringLiteral("the body must be a JSON object");
}

void BimHostTest::misuse()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, fragment);
    HostProcess host;
    verifyOneErrorLine(host.run(kHost, arguments), 2, fragment);
}

void BimHostTest::projectFailures_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("fragments");
    const QString openFailed = QString::fromUtf8("打开项目失败！");
    QTest::newRow("first fetch of a project the store does not hold")
        << QStringLiteral("other key") << QStringLiteral("open")
        << QStringList { openFailed, QStringLiteral("is not in the central store") };
    QTest::newRow("first fetch with no central store configured")
        << QStringLiteral("no store") << QStringLiteral("open")
        << QStringList { openFailed, QStringLiteral("No central store is configured") };
    QTest::newRow("local copy whose model is broken")
        << QStringLiteral("broken model") << QStringLiteral("open")
        << QStringList { QStringLiteral("open: ") + openFailed };
    QTest::newRow("update after the project left the store")
        << QStringLiteral("store emptied") << QStringLiteral("update")
        << QStringList { QStringLiteral("update: the update failed:"),
               QStringLiteral("is not in the central store") };
}

void BimHostTest::projectFailures()
{
    QFETCH(QString, situation);
    QFETCH(QString, command);
    QFETCH(QStringList, fragments);
    QTemporaryDir work;
    const QString store = work.filePath(QStringLiteral("store"));
    const QString folder = work.filePath(QStringLiteral("projects/") + kKey);
    QVERIFY(copyStore(QStringLiteral("store-r1"), store));
    HostProcess host(situation == QLatin1String("no store") ? QString() : store);
    host.setEnvironment(QStringLiteral("HOME"), work.path()); // no settings of the user's

    QString key = kKey;
    if (situation == QLatin1String("other key")) {
        key = QStringLiteral("no-such-project");
    } else if (situation == QLatin1String("broken model")) {
        QVERIFY(host.run(kHost, projectArguments(QStringLiteral("open"), folder)).exitCode == 0);
        QVERIFY(writeFile(folder + QStringLiteral("/KBMProjectTemplate.Tessel"), "not a model"));
    } else if (situation == QLatin1String("store emptied")) {
        QVERIFY(host.run(kHost, projectArguments(QStringLiteral("open"), folder)).exitCode == 0);
        QVERIFY(QDir(store + QLatin1Char('/') + kKey).removeRecursively());
    }
    const HostProcess::Result result = host.run(kHost, projectArguments(command, folder, key));
    verifyOneErrorLine(result, 1, fragments.first());
    for (const QString& fragment : fragments)
        QVERIFY2(result.err.contains(fragment), qPrintable(result.err));
}

void BimHostTest::progressOnATerminal()
{
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        QSKIP("no script(1) to run the host on a pseudo-terminal");
    QTemporaryDir work;
    const QString store = work.filePath(QStringLiteral("store"));
    QVERIFY(copyStore(QStringLiteral("store-r1"), store));
    QStringList command { kHost };
    command += projectArguments(QStringLiteral("open"), work.filePath(QStringLiteral("p")));
    HostProcess host(store);
    const HostProcess::Result result = host.run(script,
        { QStringLiteral("-qec"), command.join(QLatin1Char(' ')), QStringLiteral("/dev/null") });
    QVERIFY2(result.finished && result.exitCode == 0, qPrintable(result.err + result.out));
    // One bar, redrawn in place, ended by a single line break.
    QVERIFY2(result.out.startsWith(QLatin1String("\r  [........................]   0%")),
        qPrintable(result.out));
    QVERIFY2(!result.out.contains(QLatin1String("\n  [")), qPrintable(result.out));
    QVERIFY2(result.out.contains(QRegularExpression(QStringLiteral(
                 "\\r  \\[#{24}\\] 100%  Project files are up to date *\\r?\\nProject "))),
        qPrintable(result.out));
}

void BimHostTest::workspaceFolders()
{
    QTemporaryDir work;
    const QString root = work.filePath(QStringLiteral("ws/user/projects"));
    HostProcess host;
    auto workspace = [&](const char* operation, const QString& path) {
        return host.run(kHost, { QStringLiteral("workspace"), QLatin1String(operation), path });
    };

    HostProcess::Result result = workspace("create", root);
    QCOMPARE(result.exitCode, 0);
    QVERIFY(QFileInfo(root).isDir());
    QVERIFY(writeFile(root + QStringLiteral("/plan.txt"), "abc"));
    QVERIFY(writeFile(root + QStringLiteral("/Models/deep/er/m.bin"), "x"));
    QVERIFY(writeFile(root + QStringLiteral("/.hidden"), "h"));

    result = workspace("list", root);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(
        result.out.contains(QLatin1String(": 1 folder(s), 1 file(s)")), qPrintable(result.out));
    QVERIFY2(result.out.contains(QLatin1String("\n  Models/\n")), qPrintable(result.out));
    QVERIFY2(result.out.contains(QLatin1String("\n  plan.txt  3 bytes\n")), qPrintable(result.out));

    result = workspace("clear", root);
    QCOMPARE(result.exitCode, 0);
    QVERIFY(QFileInfo(root).isDir());
    QVERIFY(
        QDir(root).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));

    QVERIFY(writeFile(root + QStringLiteral("/again/x"), "x"));
    result = workspace("remove", work.filePath(QStringLiteral("ws")));
    QCOMPARE(result.exitCode, 0);
    QVERIFY(!QFileInfo::exists(work.filePath(QStringLiteral("ws"))));
    result = workspace("remove", work.filePath(QStringLiteral("ws")));
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.contains(QLatin1String("nothing to remove")));

    verifyOneErrorLine(workspace("list", root), 1, QStringLiteral("no folder"));
}

void BimHostTest::workspaceReadOnlyEntries()
{
    if (::geteuid() == 0)
        QSKIP("root may delete read-only entries");
    QTemporaryDir work;
    const QString root = work.filePath(QStringLiteral("ws"));
    const QString locked = root + QStringLiteral("/locked");
    QVERIFY(writeFile(locked + QStringLiteral("/keep.txt"), "k"));
    QVERIFY(writeFile(root + QStringLiteral("/loose.txt"), "l"));
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    HostProcess host;
    const HostProcess::Result cleared
        = host.run(kHost, { QStringLiteral("workspace"), QStringLiteral("clear"), root });
    const HostProcess::Result removed
        = host.run(kHost, { QStringLiteral("workspace"), QStringLiteral("remove"), root });
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    verifyOneErrorLine(cleared, 1, QStringLiteral("could not be deleted"));
    QVERIFY(!QFileInfo::exists(root + QStringLiteral("/loose.txt")));
    verifyOneErrorLine(removed, 1, QStringLiteral("cannot remove"));
    QVERIFY(QFileInfo::exists(locked + QStringLiteral("/keep.txt")));
}

void BimHostTest::getPrintsTheReply_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("authorization");
    QTest::newRow("the user's token")
        << QStringList { QStringLiteral("--token=tok-1") } << QByteArray("Bearer tok-1");
    QTest::newRow("no token given") << QStringList {} << QByteArray("Bearer");
    QTest::newRow("the caller's own header") << QStringList { QStringLiteral("--token=tok-1"),
        QStringLiteral("--authorization=Basic eHk=") }
                                             << QByteArray("Basic eHk=");
}

void BimHostTest::getPrintsTheReply()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, authorization);
    MiniHttpServer server;
    server.respondJson(R"({"code": 0, "data": {"rooms": 12, "name": "Riverside"}})");
    HostProcess host;
    const HostProcess::Result result = host.run(kHost,
        QStringList { QStringLiteral("get"), server.url(QStringLiteral("/api/project")) }
            + options);
    QVERIFY2(result.finished && result.exitCode == 0, qPrintable(result.err));
    const QJsonObject reply = QJsonDocument::fromJson(result.out.toUtf8()).object();
    QCOMPARE(
        reply.value(QStringLiteral("data")).toObject().value(QStringLiteral("rooms")).toInt(), 12);
    QCOMPARE(server.requests().size(), 1);
    QByteArray sent;
    for (const auto& header : MiniHttpServer::headersOf(server.requests().first()))
        if (header.first == "Authorization")
            sent = header.second.trimmed();
    QCOMPARE(sent, authorization);
}

void BimHostTest::getServiceError()
{
    MiniHttpServer server;
    server.respondJson(R"({"code": 401, "message": "token expired"})");
    HostProcess host;
    verifyOneErrorLine(host.run(kHost, { QStringLiteral("get"), server.url() }), 1,
        QStringLiteral("get: 401: token expired"));
}

void BimHostTest::postSendsTheBody_data()
{
    QTest::addColumn<bool>("fromFile");
    QTest::newRow("body on the command line") << false;
    QTest::newRow("body from a file") << true;
}

void BimHostTest::postSendsTheBody()
{
    QFETCH(bool, fromFile);
    QTemporaryDir work;
    const QByteArray body = R"({"projectId": "1873468521370009601", "name": "Riverside"})";
    QStringList arguments { QStringLiteral("post") };
    MiniHttpServer server;
    arguments.append(server.url(QStringLiteral("/api/issues")));
    if (fromFile) {
        QVERIFY(writeFile(work.filePath(QStringLiteral("body.json")), body));
        arguments.append(
            QStringLiteral("--bodyFile=") + work.filePath(QStringLiteral("body.json")));
    } else {
        arguments.append(QString::fromUtf8(body));
    }
    // A service's refusal is the caller's to read: post prints it.
    server.respondJson(R"({"code": 409, "message": "exists"})");
    HostProcess host;
    const HostProcess::Result result = host.run(kHost, arguments);
    QVERIFY2(result.finished && result.exitCode == 0, qPrintable(result.err));
    QCOMPARE(
        QJsonDocument::fromJson(result.out.toUtf8()).object().value(QStringLiteral("code")).toInt(),
        409);
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(QJsonDocument::fromJson(MiniHttpServer::bodyOf(server.requests().first())),
        QJsonDocument::fromJson(body));
}

void BimHostTest::download()
{
    QTemporaryDir work;
    MiniHttpServer server;
    MiniHttpServer::Response response;
    response.headers = { { "Content-Type", "application/pdf" },
        { "Content-Disposition", "attachment; filename=\"A-101 Basement plan.pdf\"" } };
    response.body = QByteArray(70000, 'p');
    server.respond(response);
    HostProcess host;
    const HostProcess::Result result
        = host.run(kHost, { QStringLiteral("download"), server.url(), work.path() });
    QVERIFY2(result.finished && result.exitCode == 0, qPrintable(result.err));
    QFile file(work.filePath(QStringLiteral("A-101 Basement plan.pdf")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), response.body);
    QVERIFY2(result.out.contains(QLatin1String("(70000 bytes)")), qPrintable(result.out));
}

void BimHostTest::downloadRefused()
{
    QTemporaryDir work;
    MiniHttpServer server;
    server.respondJson("{}", 404);
    HostProcess host;
    verifyOneErrorLine(host.run(kHost, { QStringLiteral("download"), server.url(), work.path() }),
        1, QStringLiteral("nothing was downloaded"));
    QVERIFY(QDir(work.path()).isEmpty());
    verifyOneErrorLine(
        host.run(kHost,
            { QStringLiteral("download"), server.url(), work.filePath(QStringLiteral("missing")) }),
        1, QStringLiteral("no folder"));
}

QTEST_GUILESS_MAIN(BimHostTest)
#include "tst_bimhost.moc"
