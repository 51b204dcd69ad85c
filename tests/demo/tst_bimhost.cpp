// The demo host end to end: the README's two-step demo, the progress window,
// the host's other commands, and how its failures reach the user: one line on
// standard error and a non-zero status.
#include "MiniHttpServer.h"

#include <QEventLoop>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

const QString kHost = QStringLiteral(BIMHOST_PATH);

// Runs a program (the host, or the demo script) to its end while this
// thread's event loop keeps turning, so that a test server living on it can
// answer the program's requests.
class HostProcess
{
public:
    struct Result
    {
        bool finished = false; // false: it did not start, crashed or ran out of time
        int exitCode = -1;
        QString out;
        QString err;
    };

    // A private runtime folder, and the central store at `store` (none if empty).
    explicit HostProcess(const QString& store = QString())
    {
        // Qt complains on standard error when the runtime folder is not set.
        QFile::setPermissions(
            m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_environment.insert("XDG_RUNTIME_DIR", m_runtime.path());
        m_environment.insert("QT_QPA_PLATFORM", "offscreen");
        // The leak checker of a sanitizer build lists the suppressions it used
        // on standard error, which the tests read as the host's own.
        const QString leakOptions = m_environment.value("LSAN_OPTIONS");
        if (!leakOptions.isEmpty())
            m_environment.insert("LSAN_OPTIONS", leakOptions + ":print_suppressions=0");
        m_environment.remove("BIMCORE_CENTRAL_STORE");
        if (!store.isEmpty())
            m_environment.insert("BIMCORE_CENTRAL_STORE", store);
    }

    void setEnvironment(const QString& name, const QString& value)
    {
        m_environment.insert(name, value);
    }

    Result run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        QEventLoop loop;
        QObject::connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop,
            &QEventLoop::quit);
        QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        process.start(program, arguments);
        if (process.state() != QProcess::NotRunning)
            loop.exec();
        Result result;
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        } else {
            result.finished = process.exitStatus() == QProcess::NormalExit
                && process.error() != QProcess::FailedToStart;
            result.exitCode = process.exitCode();
        }
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

private:
    QTemporaryDir m_runtime;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
};

// Puts a revision of the sample project ("store-r1", "store-r2") into the
// central store `store`.
bool copySampleStore(const QString& revision, const QString& store)
{
    const QString source = QStringLiteral(SAMPLES_DIR "/%1/" SAMPLE_KEY "/").arg(revision);
    const QString target = store + QStringLiteral("/" SAMPLE_KEY "/");
    QDir().mkpath(target);
    for (const char* name : { "KBMProjectTemplate.Tessel", "KBMProjectTemplate.db" }) {
        QFile::remove(target + name);
        if (!QFile::copy(source + name, target + name))
            return false;
    }
    return true;
}

// The host's command line for the sample project in `folder`, signed in.
QStringList projectArguments(
    const QString& command, const QString& folder, const QString& key = SAMPLE_KEY)
{
    return { command, "--userID=u-1", "--token=tok", "--projectId=" SAMPLE_ID,
        "--projectKey=" + key, "--projectPath=" + folder };
}

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

// Success prints the fragment; a failure is one line "bimhost: ..." holding it
// on standard error.
void verifyResult(const HostProcess::Result& result, int exitCode, const QString& fragment)
{
    QVERIFY2(result.finished, qPrintable(result.err));
    QCOMPARE(result.exitCode, exitCode);
    const QString& text = exitCode == 0 ? result.out : result.err;
    QVERIFY2(text.contains(fragment), qPrintable(text));
    if (exitCode != 0)
        QVERIFY2(result.err.startsWith("bimhost: ") && result.err.endsWith(QLatin1Char('\n'))
                && result.err.count(QLatin1Char('\n')) == 1,
            qPrintable(result.err));
}

} // namespace

class BimHostTest : public QObject
{
    Q_OBJECT

    QStringList m_demo;

    // The demo's output as scripts/demo.sh runs it after the build, split at
    // its second step; empty if the demo failed.
    QStringList demoRuns()
    {
        if (!m_demo.isEmpty())
            return m_demo;
        const HostProcess::Result result
            = HostProcess().run("bash", { RUN_DEMO_SCRIPT, BIMHOST_PATH, SAMPLES_DIR });
        const int second = result.out.indexOf("== 2.");
        // Nothing but the demo's own text, short enough to read at a glance.
        if (result.finished && result.exitCode == 0 && result.err.isEmpty() && second > 0
            && result.out.count('\n') < 60)
            m_demo = QStringList { result.out.left(second), result.out.mid(second) };
        else
            qWarning("the demo failed:\n%s%s", qPrintable(result.err), qPrintable(result.out));
        return m_demo;
    }

private Q_SLOTS:
    void demo_data()
    {
        QTest::addColumn<int>("run");
        QTest::addColumn<QString>("fragment");
        auto row = [](const char* name, int run, const char* fragment) {
            QTest::newRow(name) << run << QString::fromUtf8(fragment);
        };
        row("first: progress reaches the end", 0, "100%  Project files are up to date");
        row("first: fetched, not found locally", 0,
            "opened         fetched from the central service (no local copy yet)");
        row("first: workspace from the project record", 0,
            "workspace      8c1f7d2a-3b5e-4f60-9a71-2d4c6e8b0f13");
        row("first: model records", 0, "element 424,");
        row("first: SQLite rows", 0, "element_property 848,");
        row("first: a fetch reports no changes", 0, "changes        none");
        row("first: no rebuild", 0, "rebuild model  no");
        row("first: element type names", 0, "101 Wall,");
        row("first: specialty names", 0, "Fire protection");
        row("second: updated", 1, "from the local copy, then updated through the central service");
        row("second: new model records", 1, "element 428,");
        row("second: new SQLite rows", 1, "issue 11,");
        row("second: reset set touched", 1, "rebuild model  yes");
    }

    void demo()
    {
        QFETCH(int, run);
        QFETCH(QString, fragment);
        const QStringList runs = demoRuns();
        QVERIFY(!runs.isEmpty());
        QVERIFY2(runs[run].contains(fragment), qPrintable(fragment + " not in:\n" + runs[run]));
    }

    // Exactly the changed tables, with their changes by kind.
    void demoChangeRecord()
    {
        const QStringList runs = demoRuns();
        QVERIFY(!runs.isEmpty());
        const int start = runs[1].indexOf("  changes ");
        const int end = runs[1].indexOf("  rebuild model");
        QVERIFY(start > 0 && end > start);
        QStringList changes;
        const QRegularExpression item("[a-z_]+ \\d+ \\([^)]*\\)");
        for (auto it = item.globalMatch(runs[1].mid(start, end - start)); it.hasNext();)
            changes << it.next().captured();
        QCOMPARE(changes,
            QStringList(
                { "element 18 (8 added, 6 changed, 4 removed)", "material 2 (1 added, 1 changed)",
                    "model_file_revision 1 (1 added)", "segment 1 (1 changed)" }));
    }

    // The progress window, opened offscreen, driven through the library's
    // progress bar and saved as a screenshot in the build folder.
    void progressWindow_data()
    {
        QTest::addColumn<bool>("known");
        QTest::newRow("png in the build folder") << true;
        QTest::newRow("unknown format") << false;
    }

    void progressWindow()
    {
        QFETCH(bool, known);
        QTemporaryDir work;
        const QString screenshot
            = known ? QStringLiteral(SCREENSHOT_PATH) : work.filePath("shot.unknownformat");
        QFile::remove(screenshot); // a stale picture must not pass
        QVERIFY(copySampleStore("store-r1", work.filePath("store")));
        QStringList arguments = projectArguments("open", work.filePath("p"));
        arguments << "--gui"
                  << "--screenshot=" + screenshot;
        const HostProcess::Result result
            = HostProcess(work.filePath("store")).run(kHost, arguments);
        if (!known) {
            verifyResult(result, 1, "no image format unknownformat");
            QVERIFY(!QFileInfo::exists(screenshot));
            return;
        }
        // The window took the progress; the terminal only gets the summary.
        verifyResult(result, 0, "changes        none");
        QVERIFY2(!result.out.contains("%  "), qPrintable(result.out));
        const QImage image(screenshot);
        QVERIFY2(image.width() >= 300 && image.height() >= 10, qPrintable(screenshot));
        // A bar with its text drawn, not a blank or single-coloured window.
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() > 8, qPrintable(QString::number(colours.size())));
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("fragment");
        auto row = [](const char* name, const QString& arguments, int exitCode,
                       const char* fragment) {
            QTest::newRow(name) << words(arguments) << exitCode << QString::fromUtf8(fragment);
        };
        const QString project = QStringLiteral(
            " --projectId=" SAMPLE_ID " --projectKey=k --projectPath=/nonexistent/project");
        row("help names the store's variable", "--help", 0, "BIMCORE_CENTRAL_STORE");
        row("no command", "", 2, "no command given");
        row("unknown command", "fly", 2, "unknown command \"fly\"");
        row("launch parameter without =", "open --userID u", 2, "write --userID=VALUE");
        row("project folder missing from the command line", "open --userID=u", 2,
            "open needs --projectId=");
        row("identifier not a number",
            "open --userID=u --projectId=12ab --projectKey=k --projectPath=/nonexistent", 2,
            "--projectId must be a whole number");
        row("nobody signed in", "open --token=tok" + project, 2, "no user is signed in");
        row("screenshot without window", "open --userID=u --screenshot=a.png" + project, 2,
            "--screenshot needs --gui");
        row("window for a REST call", "get http://127.0.0.1/ --gui", 2,
            "--gui and --screenshot go with open and update");
        row("too many arguments", "get a b", 2, "get takes 1 argument(s), not 2");
        row("unknown folder operation", "workspace copy /tmp", 2,
            "workspace takes create, list, clear or remove");
        row("body that is no JSON", "post http://127.0.0.1:1/ {oops", 2, "the body is no JSON");
        row("body that is no object", "post http://127.0.0.1:1/ [1]", 2,
            "the body must be a JSON object");
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, fragment);
        verifyResult(HostProcess().run(kHost, arguments), exitCode, fragment);
    }

    void projectFailures_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("fragments");
        const QString openFailed = "打开项目失败！";
        QTest::newRow("first fetch of a project the store does not hold")
            << "other key"
            << "open" << QStringList { openFailed, "is not in the central store" };
        QTest::newRow("first fetch with no central store configured")
            << "no store"
            << "open" << QStringList { openFailed, "No central store is configured" };
        QTest::newRow("local copy whose model is broken")
            << "broken model"
            << "open" << QStringList { "open: " + openFailed };
        QTest::newRow("update after the project left the store")
            << "store emptied"
            << "update"
            << QStringList { "update: the update failed:", "is not in the central store" };
    }

    void projectFailures()
    {
        QFETCH(QString, situation);
        QFETCH(QString, command);
        QFETCH(QStringList, fragments);
        QTemporaryDir work;
        const QString store = work.filePath("store");
        const QString folder = work.filePath(QStringLiteral("projects/" SAMPLE_KEY));
        QVERIFY(copySampleStore("store-r1", store));
        HostProcess host(situation == "no store" ? QString() : store);
        host.setEnvironment("HOME", work.path()); // no settings of the user's

        if (situation == "broken model" || situation == "store emptied") {
            QCOMPARE(host.run(kHost, projectArguments("open", folder)).exitCode, 0);
            if (situation == "broken model")
                QVERIFY(writeFile(folder + "/KBMProjectTemplate.Tessel", "no model"));
            else
                QVERIFY(QDir(store + QStringLiteral("/" SAMPLE_KEY)).removeRecursively());
        }
        const QString key = situation == "other key" ? "no-such-project" : SAMPLE_KEY;
        const HostProcess::Result result = host.run(kHost, projectArguments(command, folder, key));
        for (const QString& fragment : fragments)
            verifyResult(result, 1, fragment);
    }

    void progressOnATerminal()
    {
        const QString script = QStandardPaths::findExecutable("script");
        if (script.isEmpty())
            QSKIP("no script(1) to run the host on a pseudo-terminal");
        QTemporaryDir work;
        QVERIFY(copySampleStore("store-r1", work.filePath("store")));
        const QStringList command
            = QStringList { kHost } + projectArguments("open", work.filePath("p"));
        const HostProcess::Result result
            = HostProcess(work.filePath("store"))
                  .run(script, { "-qec", command.join(' '), "/dev/null" });
        QVERIFY2(result.finished && result.exitCode == 0, qPrintable(result.err + result.out));
        // One bar, redrawn in place, ended by a single line break.
        QVERIFY2(
            result.out.contains(QRegularExpression(QStringLiteral(
                "^\\r  \\[\\.{24}\\]   0%[^\\n]*\\r  \\[#{24}\\] 100%  Project files are up to "
                "date *\\r?\\nProject "))),
            qPrintable(result.out));
    }

    void workspaceFolders()
    {
        QTemporaryDir work;
        const QString root = work.filePath("ws/user/projects");
        auto workspace = [&](const char* operation, const QString& path) {
            return HostProcess().run(kHost, { "workspace", operation, path });
        };
        verifyResult(workspace("create", root), 0, QString());
        QVERIFY(QDir(root).exists());
        QVERIFY(writeFile(root + "/plan.txt", "abc"));
        QVERIFY(writeFile(root + "/Models/deep/er/m.bin", "x"));
        QVERIFY(writeFile(root + "/.hidden", "h"));
        const HostProcess::Result listed = workspace("list", root);
        for (const char* line :
            { ": 1 folder(s), 1 file(s)\n", "\n  Models/\n", "\n  plan.txt  3 bytes\n" })
            verifyResult(listed, 0, line);

        verifyResult(workspace("clear", root), 0, QString());
        QVERIFY(QDir(root).exists());
        QVERIFY(QDir(root).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QVERIFY(writeFile(root + "/again/x", "x"));
        verifyResult(workspace("remove", work.filePath("ws")), 0, QString());
        QVERIFY(!QFileInfo::exists(work.filePath("ws")));
        verifyResult(workspace("remove", work.filePath("ws")), 0, "nothing to remove");
        verifyResult(workspace("list", root), 1, "no folder");

        // Entries that cannot be deleted are reported, and the rest goes.
        const QString locked = root + "/locked";
        QVERIFY(writeFile(locked + "/keep.txt", "k"));
        QVERIFY(writeFile(root + "/loose.txt", "l"));
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
        const HostProcess::Result cleared = workspace("clear", root);
        const HostProcess::Result removed = workspace("remove", root);
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (QFileInfo::exists(locked + "/keep.txt")) { // root deletes them all the same
            verifyResult(cleared, 1, "could not be deleted");
            verifyResult(removed, 1, "cannot remove");
            QVERIFY(!QFileInfo::exists(root + "/loose.txt"));
        }
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
        const QByteArray id = R"("projectId": "1873468521370009601")";
        auto row = [](const char* name, const QStringList& arguments, const QByteArray& reply,
                       int exitCode, const char* printed, const QByteArray& sent,
                       const char* saved = "") {
            QTest::newRow(name) << arguments << reply << exitCode << printed << sent << saved;
        };
        row("get with the user's token", words("get URL/api/project --token=tok-1"), rooms, 0,
            "\"rooms\": 12", "\r\nAuthorization: Bearer tok-1\r\n");
        row("get with the caller's own header",
            { "get", "URL/", "--token=tok-1", "--authorization=Basic eHk=" }, rooms, 0,
            "\"name\": \"Riverside\"", "\r\nAuthorization: Basic eHk=\r\n");
        row("get of a service error", words("get URL/"),
            R"({"code": 401, "message": "token expired"})", 1, "get: 401: token expired", "GET / ");
        row("post with the body on the command line",
            { "post", "URL/api/issues", "{" + id + ", \"name\": \"Riverside\"}" }, exists, 0,
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

        verifyResult(HostProcess().run(kHost, arguments), exitCode, printed);
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
