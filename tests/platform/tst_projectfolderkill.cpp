// A process killed at any moment of an update leaves the project folder with
// one complete revision, old or new, and the next update clears what it left.

#include "FetchRequest.h"
#include "ProjectFolders.h"

#include <bimcore/platform/platformsvc/LocalCentralStore.h>
#include <bimcore/platform/platformsvc/ProjectFolderUpdate.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>

using namespace ProjectFolders;

class TestProjectFolderKill : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedUpdatesLeaveOneCompleteRevision();
};

void TestProjectFolderKill::killedUpdatesLeaveOneCompleteRevision()
{
    constexpr int kKills = 40;
    QTemporaryDir dir;
    const QString store = dir.filePath("store");
    const QString project = dir.filePath("local/P");
    QByteArray revisions[2]; // both files of A, of B
    for (int r = 0; r < 2; ++r) {
        Table segment { "segment", { { "id", tdtInt64 }, { "name", tdtString } }, {} };
        for (int i = 1; i <= 40000 - 10000 * r; ++i)
            segment.records.push_back({ quint64(i), { qint64(i), QString("segment %1").arg(i) } });
        const QString folder = store + (r ? "/B/" : "/A/");
        writeProject(folder, { projectTable(1), segment }, QString(200000 + 300000 * r, 'a' + r));
        revisions[r] = readAll(folder + kModelFile) + readAll(folder + kDatabaseFile);
    }

    // How long one update takes here, so that the kills spread over two.
    const PlatformSvcComm::LocalCentralStore central(store);
    central.fetch(fetchRequest("A", project), {});
    QElapsedTimer timer;
    timer.start();
    central.fetch(fetchRequest("B", project), {});
    central.fetch(fetchRequest("A", project), {});
    const qint64 updateUs = timer.nsecsElapsed() / 2000;

    const auto local = [&dir] {
        return QDir(dir.filePath("local"))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    int interrupted = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), { "--update-loop", store, project });
        QVERIFY(child.waitForReadyRead(10000));
        QThread::usleep(updateUs * 2 * (kill + 1) / kKills);
        child.kill();
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const QByteArray found
            = readAll(project + "/" + kModelFile) + readAll(project + "/" + kDatabaseFile);
        QVERIFY2(found == revisions[0] || found == revisions[1],
            qPrintable(QStringLiteral("kill %1: the files are no revision's pair").arg(kill)));
        interrupted += local().size() > 1;
        PlatformSvcComm::ProjectFolderUpdate { project }; // completes or rolls back the update
        QCOMPARE(local(), QStringList { "P" });
        QCOMPARE(
            readAll(project + "/" + kModelFile) + readAll(project + "/" + kDatabaseFile), found);
    }
    qInfo("kills during an update in progress: %d of %d", interrupted, kKills);
    // The kills must really have hit updates in progress.
    QVERIFY(interrupted >= kKills / 4);
}

int main(int argc, char** argv)
{
    // The child: updates the folder from revision B, then A, then B... until
    // it is killed. Says "r" once it is about to start.
    if (argc == 4 && std::strcmp(argv[1], "--update-loop") == 0) {
        const PlatformSvcComm::LocalCentralStore central(QString::fromLocal8Bit(argv[2]));
        std::fputs("r\n", stdout);
        std::fflush(stdout);
        for (int i = 0;; ++i)
            central.fetch(fetchRequest(i % 2 ? "A" : "B", QString::fromLocal8Bit(argv[3])), {});
    }
    QCoreApplication app(argc, argv);
    TestProjectFolderKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_projectfolderkill.moc"
