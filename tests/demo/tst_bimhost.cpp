// The demo host end to end: the README's two-step demo, the progress window,
// the host's other commands, and its failures: one line on standard error.
#include "ChildProcess.h"
#include "FileTree.h"
#include "MiniHttpServer.h"

#include <QImage>
#include <QtTest>

namespace {

const QString kHost = QStringLiteral(BIMHOST_PATH);

// Runs a program (the host, or the demo script) to its end while this
// thread's event loop serves a test server the program may call.
struct HostProcess
{

    // A private runtime folder (else Qt complains on standard error), and the
    // central store at `store` (none if empty).
    explicit HostProcess(const QString& store = QString())
    {
        QFile::setPermissions(
            m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_environment.insert("XDG_RUNTIME_DIR", m_runtime.path());
        m_environment.insert("QT_QPA_PLATFORM", "offscreen");
        // A sanitizer build's leak checker would list its suppressions on standard error.
        if (m_environment.contains("LSAN_OPTIONS"))
            m_environment.insert(
                "LSAN_OPTIONS", m_environment.value("LSAN_OPTIONS") + ":print_suppressions=0");
        m_environment.remove("BIMCORE_CENTRAL_STORE");
        if (!store.isEmpty())
            m_environment.insert("BIMCORE_CENTRAL_STORE", store);
    }

    ChildRun run(const QString& program, const QStringList& arguments)
    {
        return runChild(program, arguments, m_environment);
    }

    QTemporaryDir m_runtime;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
};

// Puts revision 1 of the sample project into a new central store.
bool copySampleStore(const QString& store)
{
    const QString source = QStringLiteral(SAMPLES_DIR "/store-r1/" SAMPLE_KEY "/");
    const QString target = store + QStringLiteral("/" SAMPLE_KEY "/");
    return QDir().mkpath(target)
        && QFile::copy(source + "KBMProjectTemplate.Tessel", target + "KBMProjectTemplate.Tessel")
        && QFile::copy(source + "KBMProjectTemplate.db", target + "KBMProjectTemplate.db");
}

// The host's command line for the sample project in `folder`, signed in.
QStringList projectArguments(const QString& command, const QString& folder)
{
    return { command, "--userID=u-1", "--token=tok", "--projectId=" SAMPLE_ID,
        "--projectKey=" SAMPLE_KEY, "--projectPath=" + folder };
}

// Success prints the fragment; a failure is one line "bimcore-host: ..." holding it
// on standard error.
void verifyResult(const ChildRun& result, int exitCode, const QString& fragment)
{
    QVERIFY2(result.exitCode == exitCode, qPrintable(result.err));
    const QString& text = exitCode == 0 ? result.out : result.err;
    QVERIFY2(text.contains(fragment), qPrintable(text));
    if (exitCode != 0)
        QVERIFY2(result.err.startsWith("bimcore-host: ") && result.err.endsWith(QLatin1Char('\n'))
                && result.err.count(QLatin1Char('\n')) == 1,
            qPrintable(result.err));
}

} // namespace

class BimHostTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The demo as scripts/demo.sh runs it after the build: nothing but its own
    // text, short enough to read at a glance, each step reporting its part.
    void demo()
    {
#ifdef Q_OS_WIN
        QSKIP("the demo script needs bash; a Windows build runs it under Wine as the test "
              "bimhost_demo");
#endif
        const ChildRun result
            = HostProcess().run("bash", { RUN_DEMO_SCRIPT, BIMHOST_PATH, SAMPLES_DIR });
        QVERIFY2(result.exitCode == 0 && result.err.isEmpty() && result.out.count('\n') < 60,
            qPrintable(result.err + result.out));
        const int second = result.out.indexOf("== 2.");
        QVERIFY(second > 0);
        const QStringList runs[] {
            { "100% Project files are up to date",
                "opened fetched from the central service (no local copy yet)",
                "workspace 8c1f7d2a-3b5e-4f60-9a71-2d4c6e8b0f13", "element 424,",
                "element_property 848,", "101 Wall,", "Fire protection",
                "changes none rebuild model no" },
            { "from the local copy, then updated through the central service", "element 428,",
                "issue 11,",
                // Exactly the changed tables, with their changes by kind.
                "changes element 18 (8 added, 6 changed, 4 removed), material 2 (1 added, 1 "
                "changed), model_file_revision 1 (1 added), segment 1 (1 changed) rebuild model "
                "yes" }
        };
        for (int run = 0; run < 2; ++run) {
            const QString text
                = (run ? result.out.mid(second) : result.out.left(second)).simplified();
            for (const QString& fragment : runs[run])
                QVERIFY2(text.contains(fragment), qPrintable(fragment + " not in:\n" + text));
        }
    }

    // The progress window, opened offscreen, driven through the library's
    // progress bar and saved as a screenshot in the build folder; on a
    // terminal, one bar redrawn in place.
    void progressShown()
    {
        QTemporaryDir work;
        QVERIFY(copySampleStore(work.filePath("store")));
        HostProcess host(work.filePath("store"));
        const QString screenshot = QStringLiteral(SCREENSHOT_PATH);
        QFile::remove(screenshot); // a stale picture must not pass
        const ChildRun result = host.run(kHost,
            projectArguments("open", work.filePath("p1"))
                + QStringList { "--gui", "--screenshot=" + screenshot });
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

        const QString script = QStandardPaths::findExecutable("script");
        if (script.isEmpty())
            QSKIP("no script(1) to run the host on a pseudo-terminal");
        const QStringList command
            = QStringList { kHost } + projectArguments("open", work.filePath("p2"));
        const auto terminal = host.run(script, { "-qec", command.join(' '), "/dev/null" });
        QVERIFY2(terminal.exitCode == 0, qPrintable(terminal.err + terminal.out));
        QVERIFY2(
            terminal.out.contains(QRegularExpression(QStringLiteral(
                "^\\r  \\[\\.{24}\\]   0%[^\\n]*\\r  \\[#{24}\\] 100%  Project files are up to "
                "date *\\r?\\nProject "))),
            qPrintable(terminal.out));
    }

    // A first fetch with no store configured, an update after the project
    // left the store: one line on standard error, naming the command.
    void projectFailures()
    {
        QTemporaryDir work;
        const QString store = work.filePath("store");
        const QString folder = work.filePath(QStringLiteral("projects/" SAMPLE_KEY));
        QVERIFY(copySampleStore(store));
        HostProcess host(store), noStore;
        for (HostProcess* process : { &host, &noStore })
            process->m_environment.insert("HOME", work.path()); // no settings of the user's
        const ChildRun open = noStore.run(kHost, projectArguments("open", folder));
        for (const char* fragment : { "open: 打开项目失败！", "No central store is configured" })
            verifyResult(open, 1, fragment);
        QCOMPARE(host.run(kHost, projectArguments("open", folder)).exitCode, 0);
        QVERIFY(QDir(store + QStringLiteral("/" SAMPLE_KEY)).removeRecursively());
        const ChildRun update = host.run(kHost, projectArguments("update", folder));
        for (const char* fragment : { "update: the update failed:", "is not in the central store" })
            verifyResult(update, 1, fragment);
    }

    void workspaceFolders()
    {
        QTemporaryDir work;
        const QString root = work.filePath("ws/user/projects");
        auto workspace = [&](const char* operation, const QString& path) {
            return HostProcess().run(kHost, { "workspace", operation, path });
        };
        verifyResult(workspace("create", root), 0, QString());
        QVERIFY(QDir(root).exists()
            && FileTree::makeAll(root, { "plan.txt", "Models/deep/m.bin", ".hidden" }));
        const ChildRun listed = workspace("list", root);
        for (const char* line :
            { ": 1 folder(s), 1 file(s)\n", "\n  Models/\n", "\n  plan.txt  7 bytes\n" })
            verifyResult(listed, 0, line);
        verifyResult(workspace("clear", root), 0, QString());
        QVERIFY(QDir(root).exists()
            && QDir(root).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QVERIFY(FileTree::make(root, "again/x"));
        verifyResult(workspace("remove", work.filePath("ws")), 0, QString());
        QVERIFY(!QFileInfo::exists(work.filePath("ws")));
        verifyResult(workspace("remove", work.filePath("ws")), 0, "nothing to remove");
        verifyResult(workspace("list", root), 1, "no folder");
        // "/" is the root of the current drive on Windows, shown with its letter.
        verifyResult(workspace("clear", "/"), 1,
            "refusing to empty a file-system root (" + QDir::toNativeSeparators(QFileInfo("/").absoluteFilePath())
                + ")");

        // Entries that cannot be deleted are reported (what goes is the library's).
        const QString locked = root + "/locked";
        QVERIFY(FileTree::make(locked, "keep.txt"));
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
        const ChildRun cleared = workspace("clear", root);
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (QFileInfo::exists(locked + "/keep.txt")) // root deletes them all the same
            verifyResult(cleared, 1, "could not be deleted");
    }

    // Each command as the user writes it, URL standing for a test server that
    // answers `reply` and DIR for a scratch folder: what it prints, what its one
    // request holds (no request if `sent` is empty) and that a download served a
    // file leaves it in DIR.
    void commands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("printed");
        QTest::addColumn<QByteArray>("reply"); // a JSON reply, or the file a download gets
        QTest::addColumn<QByteArray>("sent");
        auto row
            = [](const char* name, const QStringList& arguments, int exitCode, const char* printed,
                  const QByteArray& reply = {}, const QByteArray& sent = {}) {
                  QTest::newRow(name)
                      << arguments << exitCode << QString::fromUtf8(printed) << reply << sent;
              };
        auto words = [](const QString& text) { return text.split(' '); };
        row("help names the store's variable", { "--help" }, 0, "BIMCORE_CENTRAL_STORE");
        row("help says whom it serves", { "--help" }, 0,
            "the administrator's way to open, update, download and clear\nfrom a shell");
        row("version", { "--version" }, 0, "bimcore-host " BIMCORE_VERSION "\n");
        row("unknown command", { "fly" }, 2, "unknown command \"fly\"");
        row("launch parameter without =", words("open --userID u"), 2, "write --userID=VALUE");
        row("project folder missing from the command line", words("open --userID=u"), 2,
            "open needs --projectId=");
        row("identifier not a number",
            words("open --userID=u --projectId=12ab --projectKey=k --projectPath=/nonexistent"), 2,
            "--projectId must be a whole number");
        row("nobody signed in",
            words("open --token=tok --projectId=1 --projectKey=k --projectPath=/nonexistent"), 2,
            "no user is signed in");
        row("body that is no JSON", words("post URL/ {oops"), 2, "the body is no JSON");
        row("get with the user's token", words("get URL/api/project --token=tok-1"), 0,
            "\"rooms\": 12", R"({"code": 0, "data": {"rooms": 12, "name": "Riverside"}})",
            "\r\nAuthorization: Bearer tok-1\r\n");
        row("get of a service error", words("get URL/"), 1, "get: 401: token expired",
            R"({"code": 401, "message": "token expired"})", "GET / ");
        // A service's refusal is the caller's to read: post prints it.
        const QByteArray id = R"("projectId": "1873468521370009601")";
        row("post with the body on the command line",
            { "post", "URL/api/issues", "{" + id + ", \"name\": \"Riverside\"}" }, 0,
            "\"code\": 409", R"({"code": 409, "message": "exists"})", id);
        // Its result on standard output, its progress ("2>") on standard error only.
        row("download shows its progress", words("download URL/plan DIR/"), 0,
            "(70000 bytes)|2>] 100%  Downloading 0.1 / 0.1 MiB", QByteArray(70000, 'p'),
            "GET /plan ");
        row("download refused", words("download URL/none DIR/"), 1, "nothing was downloaded", "",
            "GET /none ");
    }

    void commands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, sent);
        const QString saved = "A-101 Basement plan.pdf";
        QTemporaryDir work;
        MiniHttpServer server;
        if (arguments.first() == "download")
            server.respondFile("attachment; filename=\"" + saved.toUtf8() + '"', reply,
                reply.isEmpty() ? 404 : 200);
        else
            server.respondJson(reply);
        arguments.replaceInStrings("URL/", server.url());
        arguments.replaceInStrings("DIR/", work.path() + '/');

        const ChildRun result = HostProcess().run(kHost, arguments);
        for (const QString& part : printed.split('|')) {
            if (part.startsWith("2>"))
                QVERIFY2(result.err.contains(part.mid(2)) && !result.out.contains(part.mid(2)),
                    qPrintable(result.err));
            else
                verifyResult(result, exitCode, part);
        }
        QCOMPARE(server.requests().size(), sent.isEmpty() ? 0 : 1);
        QVERIFY2(server.requests().value(0).contains(sent), server.requests().value(0).data());
        // What the download wrote is the library's, tested with it.
        const bool served = arguments.first() == "download" && !reply.isEmpty();
        QCOMPARE(QDir(work.path()).entryList(QDir::Files | QDir::Hidden),
            served ? QStringList { saved } : QStringList());
    }
};

QTEST_GUILESS_MAIN(BimHostTest)
#include "tst_bimhost.moc"
