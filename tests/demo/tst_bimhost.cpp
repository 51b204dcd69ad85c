// The demo host's commands other than the demo itself, and how its failures
// reach the user: one line on standard error and a non-zero status.
#include "HostProcess.h"
#include "MiniHttpServer.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

const QString kHost = QStringLiteral(BIMHOST_PATH);

QStringList words(const QString& text)
{
    return text.split(' ', Qt::SkipEmptyParts);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A failure is one line "bimhost: ..." on standard error.
void verifyOneErrorLine(const HostProcess::Result& result, int exitCode, const QString& fragment)
{
    QVERIFY2(result.finished, qPrintable(result.err));
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.startsWith("bimhost: "), qPrintable(result.err));
    QVERIFY2(result.err.endsWith(QLatin1Char('\n')) && result.err.count(QLatin1Char('\n')) == 1,
        qPrintable(result.err));
    QVERIFY2(result.err.contains(fragment), qPrintable(result.err));
}

} // namespace

class BimHostTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void help()
    {
        const HostProcess::Result result = HostProcess().run(kHost, { "--help" });
        QVERIFY(result.finished);
        QCOMPARE(result.exitCode, 0);
        for (const char* word :
            { "--userID", "--account", "--displayName", "--token", "--userToken", "--pwd",
                "--tenantID", "--productCode", "--projectService", "--collaborationService",
                "--vizHubApiService", "--vizHubFileService", "--cloudDomain", "--projectId",
                "--projectKey", "--projectPath", "--projectCacheDir", "--gui", "--screenshot",
                "open", "update", "get URL", "post URL", "download URL DIR", "workspace create",
                "workspace list", "workspace clear", "workspace remove", "BIMCORE_CENTRAL_STORE" })
            QVERIFY2(result.out.contains(QLatin1String(word)), word);
    }

    void misuse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("fragment");
        auto row = [](const char* name, const QStringList& arguments, const char* fragment) {
            QTest::newRow(name) << arguments << QString::fromUtf8(fragment);
        };
        const QString project = QStringLiteral(
            " --projectId=" SAMPLE_ID " --projectKey=k --projectPath=/nonexistent/project");
        row("no command", {}, "no command given");
        row("unknown command", words("fly"), "unknown command \"fly\"");
        row("launch parameter without =", words("open --userID u"), "write --userID=VALUE");
        row("project folder missing from the command line", words("open --userID=u"),
            "open needs --projectId=");
        row("identifier not a number",
            words("open --userID=u --projectId=12ab --projectKey=k --projectPath=/nonexistent"),
            "--projectId must be a whole number");
        row("nobody signed in", words("open --token=tok" + project), "no user is signed in");
        row("screenshot without window", words("open --userID=u --screenshot=a.png" + project),
            "--screenshot needs --gui");
        row("window for a REST call", words("get http://127.0.0.1/ --gui"),
            "--gui and --screenshot go with open and update");
        row("too many arguments", words("get a b"), "get takes 1 argument(s), not 2");
        row("unknown folder operation", words("workspace copy /tmp"),
            "workspace takes create, list, clear or remove");
        row("body that is no JSON", words("post http://127.0.0.1:1/ {oops"), "the body is no JSON");
        row("body that is no object", words("post http://127.0.0.1:1/ [1]"),
            "the body must be a JSON object");
    }

    void misuse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, fragment);
        verifyOneErrorLine(HostProcess().run(kHost, arguments), 2, fragment);
    }

    void projectFailures_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("fragments");
        auto row = [](const char* name, const char* situation, const char* command,
                       const QStringList& fragments) {
            QTest::newRow(name) << situation << command << fragments;
        };
        const QString openFailed = "打开项目失败！";
        row("first fetch of a project the store does not hold", "other key", "open",
            { openFailed, "is not in the central store" });
        row("first fetch with no central store configured", "no store", "open",
            { openFailed, "No central store is configured" });
        row("local copy whose model is broken", "broken model", "open", { "open: " + openFailed });
        row("update after the project left the store", "store emptied", "update",
            { "update: the update failed:", "is not in the central store" });
    }

    void projectFailures()
    {
        QFETCH(QString, situation);
        QFETCH(QString, command);
        QFETCH(QStringList, fragments);
        QTemporaryDir work;
        const QString store = work.filePath("store");
        const QString folder = work.filePath(QStringLiteral("projects/" SAMPLE_KEY));
        QVERIFY(HostProcess::copySampleStore("store-r1", store));
        HostProcess host(situation == "no store" ? QString() : store);
        host.setEnvironment("HOME", work.path()); // no settings of the user's

        if (situation == "broken model" || situation == "store emptied") {
            QCOMPARE(host.run(kHost, HostProcess::projectArguments("open", folder)).exitCode, 0);
            if (situation == "broken model")
                QVERIFY(writeFile(folder + "/KBMProjectTemplate.Tessel", "no model"));
            else
                QVERIFY(QDir(store + QStringLiteral("/" SAMPLE_KEY)).removeRecursively());
        }
        const QString key
            = situation == "other key" ? "no-such-project" : QStringLiteral(SAMPLE_KEY);
        const HostProcess::Result result
            = host.run(kHost, HostProcess::projectArguments(command, folder, key));
        for (const QString& fragment : fragments)
            verifyOneErrorLine(result, 1, fragment);
    }

    void progressOnATerminal()
    {
        const QString script = QStandardPaths::findExecutable("script");
        if (script.isEmpty())
            QSKIP("no script(1) to run the host on a pseudo-terminal");
        QTemporaryDir work;
        const QString store = work.filePath("store");
        QVERIFY(HostProcess::copySampleStore("store-r1", store));
        const QStringList command
            = QStringList { kHost } + HostProcess::projectArguments("open", work.filePath("p"));
        const HostProcess::Result result
            = HostProcess(store).run(script, { "-qec", command.join(' '), "/dev/null" });
        QVERIFY2(result.finished && result.exitCode == 0, qPrintable(result.err + result.out));
        // One bar, redrawn in place, ended by a single line break.
        QVERIFY2(
            result.out.startsWith("\r  [........................]   0%"), qPrintable(result.out));
        QVERIFY2(!result.out.contains("\n  ["), qPrintable(result.out));
        QVERIFY2(result.out.contains(QRegularExpression(QStringLiteral(
                     "\\r  \\[#{24}\\] 100%  Project files are up to date *\\r?\\nProject "))),
            qPrintable(result.out));
    }

    void workspaceFolders()
    {
        QTemporaryDir work;
        const QString root = work.filePath("ws/user/projects");
        auto workspace = [&](const char* operation, const QString& path) {
            return HostProcess().run(kHost, { "workspace", operation, path });
        };

        QCOMPARE(workspace("create", root).exitCode, 0);
        QVERIFY(QFileInfo(root).isDir());
        QVERIFY(writeFile(root + "/plan.txt", "abc"));
        QVERIFY(writeFile(root + "/Models/deep/er/m.bin", "x"));
        QVERIFY(writeFile(root + "/.hidden", "h"));

        HostProcess::Result result = workspace("list", root);
        QCOMPARE(result.exitCode, 0);
        for (const char* line :
            { ": 1 folder(s), 1 file(s)\n", "\n  Models/\n", "\n  plan.txt  3 bytes\n" })
            QVERIFY2(result.out.contains(QLatin1String(line)), qPrintable(result.out));

        QCOMPARE(workspace("clear", root).exitCode, 0);
        QVERIFY(QFileInfo(root).isDir());
        QVERIFY(QDir(root).isEmpty(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));

        QVERIFY(writeFile(root + "/again/x", "x"));
        QCOMPARE(workspace("remove", work.filePath("ws")).exitCode, 0);
        QVERIFY(!QFileInfo::exists(work.filePath("ws")));
        result = workspace("remove", work.filePath("ws"));
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.out.contains("nothing to remove"));
        verifyOneErrorLine(workspace("list", root), 1, "no folder");
    }

    void workspaceReadOnlyEntries()
    {
        if (::geteuid() == 0)
            QSKIP("root may delete read-only entries");
        QTemporaryDir work;
        const QString root = work.filePath("ws");
        const QString locked = root + "/locked";
        QVERIFY(writeFile(locked + "/keep.txt", "k"));
        QVERIFY(writeFile(root + "/loose.txt", "l"));
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
        const HostProcess::Result cleared
            = HostProcess().run(kHost, words("workspace clear " + root));
        const HostProcess::Result removed
            = HostProcess().run(kHost, words("workspace remove " + root));
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        verifyOneErrorLine(cleared, 1, "could not be deleted");
        QVERIFY(!QFileInfo::exists(root + "/loose.txt"));
        verifyOneErrorLine(removed, 1, "cannot remove");
        QVERIFY(QFileInfo::exists(locked + "/keep.txt"));
    }

    void restCommands_data()
    {
        QTest::addColumn<QStringList>("arguments"); // URL and DIR stand for the server and a folder
        QTest::addColumn<QByteArray>("reply"); // a JSON reply, or the file a download gets
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("printed");
        QTest::addColumn<QByteArray>("sent"); // in the one request; empty: no request
        QTest::addColumn<QString>("saved"); // the file a download leaves in DIR
        const QByteArray rooms = R"({"code": 0, "data": {"rooms": 12, "name": "Riverside"}})";
        // A service's refusal is the caller's to read: post prints it.
        const QByteArray exists = R"({"code": 409, "message": "exists"})";
        const QByteArray body = R"({"projectId": "1873468521370009601", "name": "Riverside"})";
        const QByteArray id = R"("projectId": "1873468521370009601")";
        auto row = [](const char* name, const QStringList& arguments, const QByteArray& reply,
                       int exitCode, const char* printed, const QByteArray& sent,
                       const char* saved = "") {
            QTest::newRow(name) << arguments << reply << exitCode << printed << sent << saved;
        };
        row("get with the user's token", words("get URL/api/project --token=tok-1"), rooms, 0,
            "\"rooms\": 12", "\r\nAuthorization: Bearer tok-1\r\n");
        row("get with no token given", words("get URL/api/project"), rooms, 0, "\"rooms\": 12",
            "\r\nAuthorization: Bearer \r\n");
        row("get with the caller's own header",
            { "get", "URL/", "--token=tok-1", "--authorization=Basic eHk=" }, rooms, 0,
            "\"name\": \"Riverside\"", "\r\nAuthorization: Basic eHk=\r\n");
        row("get of a service error", words("get URL/"),
            R"({"code": 401, "message": "token expired"})", 1, "get: 401: token expired", "GET / ");
        row("post with the body on the command line", { "post", "URL/api/issues", body }, exists, 0,
            "\"code\": 409", id);
        row("post with the body from a file", words("post URL/api/issues --bodyFile=DIR/body.json"),
            exists, 0, "\"message\": \"exists\"", id);
        row("download", words("download URL/plan DIR/"), QByteArray(70000, 'p'), 0, "(70000 bytes)",
            "GET /plan ", "A-101 Basement plan.pdf");
        row("download refused", words("download URL/none DIR/"), "", 1, "nothing was downloaded",
            "GET /none ");
        row("download into a missing folder", words("download URL/ DIR/missing"), "", 1,
            "no folder", "");
    }

    void restCommands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, reply);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        QFETCH(QByteArray, sent);
        QFETCH(QString, saved);
        QTemporaryDir work;
        QVERIFY(writeFile(work.filePath("body.json"),
            R"({"projectId": "1873468521370009601", "name": "Riverside"})"));
        MiniHttpServer server;
        if (arguments.first() == "download")
            server.respondFile(R"(attachment; filename="A-101 Basement plan.pdf")", reply,
                reply.isEmpty() ? 404 : 200);
        else
            server.respondJson(reply);
        arguments.replaceInStrings("URL/", server.url());
        arguments.replaceInStrings("DIR/", work.path() + '/');

        const HostProcess::Result result = HostProcess().run(kHost, arguments);
        if (exitCode == 0) {
            QVERIFY2(result.finished && result.exitCode == 0, qPrintable(result.err));
            QVERIFY2(result.out.contains(printed), qPrintable(result.out));
        } else {
            verifyOneErrorLine(result, exitCode, printed);
        }
        QCOMPARE(server.requests().size(), sent.isEmpty() ? 0 : 1);
        if (!sent.isEmpty())
            QVERIFY2(server.requests().first().contains(sent), server.requests().first().data());
        QStringList files = QDir(work.path()).entryList(QDir::Files | QDir::Hidden);
        files.removeOne("body.json");
        QCOMPARE(files, saved.isEmpty() ? QStringList() : QStringList { saved });
        if (!saved.isEmpty()) {
            QFile file(work.filePath(saved));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), reply);
        }
    }
};

QTEST_GUILESS_MAIN(BimHostTest)
#include "tst_bimhost.moc"
