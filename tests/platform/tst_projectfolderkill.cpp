// A process killed at any moment of an update leaves the project folder with
// one complete revision, old or new, and the next update clears what it left.

#include "FetchRequest.h"
#include "ProjectFolders.h"

#include <platformsvc/LocalCentralStore.h>
#include <platformsvc/ProjectFolderUpdate.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <random>

using namespace PlatformSvcComm;
using namespace ProjectFolders;

namespace {

constexpr int kKills = 40;

// The child: updates the folder from revision B, then A, then B... until it is
// killed. Says "r" once it is about to start.
int runUpdateLoop(const char* store, const char* project)
{
    const LocalCentralStore central(QString::fromLocal8Bit(store));
    const QString folder = QString::fromLocal8Bit(project);
    std::fputs("r\n", stdout);
    std::fflush(stdout);
    for (int i = 0;; ++i)
        central.fetch(fetchRequest(i % 2 ? "A" : "B", folder), {});
}

Revision revision(int records, const QString& tag)
{
    Table segment { QStringLiteral("segment"),
        { { "id", tdtInt64 }, { "name", tdtString }, { "length", tdtDouble } }, {} };
    for (int i = 1; i <= records; ++i)
        segment.records.push_back({ quint64(i),
            { qint64(i), QStringLiteral("segment %1 %2").arg(i).arg(i % 97 ? "" : tag),
                i * 0.5 } });
    return { projectTable(1), segment };
}

} // namespace

class TestProjectFolderKill : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedUpdatesLeaveOneCompleteRevision();
};

void TestProjectFolderKill::killedUpdatesLeaveOneCompleteRevision()
{
    QTemporaryDir dir;
    const QString store = dir.filePath("store");
    const QString project = dir.filePath("local/P");
    writeProject(store + "/A", revision(40000, "a"), "A" + QString(200000, 'a'));
    writeProject(store + "/B", revision(30000, "b"), "B" + QString(500000, 'b'));
    const QByteArray pairs[2][2]
        = { { readAll(store + "/A/" + kModelFile), readAll(store + "/A/" + kDatabaseFile) },
              { readAll(store + "/B/" + kModelFile), readAll(store + "/B/" + kDatabaseFile) } };

    // How long one update takes here, so that the kills spread over two.
    const LocalCentralStore central(store);
    central.fetch(fetchRequest("A", project), {});
    QElapsedTimer timer;
    timer.start();
    central.fetch(fetchRequest("B", project), {});
    central.fetch(fetchRequest("A", project), {});
    const qint64 updateUs = timer.nsecsElapsed() / 2000;
    qInfo("one update takes %lld us", updateUs);

    int seen[2] = { 0, 0 };
    int interrupted = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), { "--update-loop", store, project });
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(10000));
        QThread::usleep(updateUs * 2 * (kill + 1) / kKills);
        child.kill();
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const QByteArray model = readAll(project + "/" + kModelFile);
        const QByteArray database = readAll(project + "/" + kDatabaseFile);
        int which = -1;
        for (int r = 0; r < 2; ++r)
            if (model == pairs[r][0] && database == pairs[r][1])
                which = r;
        QVERIFY2(which >= 0,
            qPrintable(QStringLiteral("kill %1: the pair matches no revision").arg(kill)));
        ++seen[which];
        TesselModel loaded = tesselEngine(QString()).createModel(true, VellEngine(nullptr));
        TesselModelPersistent(loaded).loadFromFile(project + "/" + kModelFile, false, true);
        QCOMPARE(loaded.findTable("DB", "segment").recordCount(), which == 0 ? 40000 : 30000);

        const auto local = [&dir] {
            return QDir(dir.filePath("local"))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        if (local().size() > 1)
            ++interrupted;
        ProjectFolderUpdate { project }; // completes or rolls back what the kill left
        QCOMPARE(local(), QStringList { "P" });
        QCOMPARE(readAll(project + "/" + kModelFile), pairs[which][0]);
    }
    qInfo("kills that found revision A: %d, B: %d; with an update in progress: %d", seen[0],
        seen[1], interrupted);
    // The kills must really have hit updates in progress.
    QVERIFY(interrupted >= kKills / 4);
}

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--update-loop") == 0)
        return runUpdateLoop(argv[2], argv[3]);
    QCoreApplication app(argc, argv);
    TestProjectFolderKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_projectfolderkill.moc"
