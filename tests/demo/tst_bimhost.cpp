// The demo host end to end on the sample project, as the README's demo runs
// it: a first open fetches revision 1 from the central store, an update brings
// the open project to revision 2 and reports exactly the changed tables, a
// download lands in the project folder and the workspace command clears it.
// What each step does below the host is the library's, tested with it.
#include "ChildProcess.h"
#include "MiniHttpServer.h"

#include <QtTest>

namespace {

// Puts a revision of the sample project ("store-r1", "store-r2") into the store.
bool copyRevision(const QString& revision, const QString& store)
{
    const QString target = store + QStringLiteral("/" SAMPLE_KEY "/");
    for (const char* file : { "KBMProjectTemplate.Tessel", "KBMProjectTemplate.db" }) {
        QFile::remove(target + file);
        if (!QDir().mkpath(target)
            || !QFile::copy(QStringLiteral(SAMPLES_DIR "/%1/" SAMPLE_KEY "/").arg(revision) + file,
                target + file))
            return false;
    }
    return true;
}

} // namespace

class BimHostTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void openUpdateDownloadClear()
    {
        QTemporaryDir work, runtime;
        const QString store = work.filePath("store");
        const QString folder = work.filePath("projects/" SAMPLE_KEY);
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime.path()); // else Qt complains on standard error
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("BIMCORE_CENTRAL_STORE", store);
        environment.insert("HOME", work.path()); // no settings of the user's
        const QStringList project { "--userID=u-1", "--token=tok", "--projectId=" SAMPLE_ID,
            "--projectKey=" SAMPLE_KEY, "--projectPath=" + folder };
        // What the host said, its blanks and line breaks taken as one blank.
        const auto host = [&](const QStringList& arguments) {
            const ChildRun run = runChild(BIMHOST_PATH, arguments, environment);
            return run.exitCode == 0 ? (run.err + run.out).simplified() : "failed: " + run.err;
        };
        const QStringList steps[] {
            { "100% Project files are up to date",
                "opened fetched from the central service (no local copy yet)",
                "workspace 8c1f7d2a-3b5e-4f60-9a71-2d4c6e8b0f13", "element 424,",
                "element_property 848,", "101 Wall,", "Fire protection",
                "changes none rebuild model no" },
            { "from the local copy, then updated through the central service", "element 428,",
                "issue 11,",
                "changes element 18 (8 added, 6 changed, 4 removed), material 2 (1 added, 1 "
                "changed), model_file_revision 1 (1 added), segment 1 (1 changed) rebuild model "
                "yes" }
        };
        for (int step = 0; step < 2; ++step) {
            QVERIFY(copyRevision(step ? "store-r2" : "store-r1", store));
            const QString said = host(QStringList { step ? "update" : "open" } + project);
            for (const QString& fragment : steps[step])
                QVERIFY2(said.contains(fragment), qPrintable(fragment + " not in:\n" + said));
        }

        MiniHttpServer server;
        server.respondFile("attachment; filename=\"plan.pdf\"", QByteArray(70000, 'p'));
        const QString downloaded = host({ "download", server.url("/plan"), folder + "/" });
        QVERIFY2(QFileInfo(folder + "/plan.pdf").size() == 70000, qPrintable(downloaded));
        const QString cleared = host({ "workspace", "clear", folder });
        QVERIFY2(!cleared.startsWith("failed: ") && QDir(folder).exists()
                && QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            qPrintable(cleared));
    }
};

QTEST_GUILESS_MAIN(BimHostTest)
#include "tst_bimhost.moc"
