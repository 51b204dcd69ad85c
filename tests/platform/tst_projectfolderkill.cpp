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

using namespace PlatformSvcComm;
using namespace ProjectFolders;

namespace {

constexpr int kKills = 40;

Revision revision(int records, const QString& tag)
{
    Table segment { QStringLiteral("segment"),
        { { "id", tdtInt64 }, { "name", tdtString }, { "length", tdtDouble } }, {} };
    for (int i = 1; i <= records; ++i)
        segment.records.push_back({ quint64(i),
            { qint64(i), QStringLiteral("segment %1 %2").arg(i).arg(tag), i * 0.5 } });
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
    QByteArray pairs[2][2];
    for (int r = 0; r < 2; ++r)
        for (int f = 0; f < 2; ++f)
            pairs[r][f] = readAll(store + (r ? "/B/" : "/A/") + (f ? kDatabaseFile : kModelFile));

    // How long one update takes here, so that the kills spread over two.
    const LocalCentralStore central(store);
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

        const QByteArray found[2]
            = { readAll(project + "/" + kModelFile), readAll(project + "/" + kDatabaseFile) };
        const int which = found[0] == pairs[0][0] && found[1] == pairs[0][1] ? 0
            : found[0] == pairs[1][0] && found[1] == pairs[1][1]             ? 1
                                                                             : -1;
        QVERIFY2(which >= 0, qPrintable(QStringLiteral("kill %1: no revision's pair").arg(kill)));
        interrupted += local().size() > 1;
        ProjectFolderUpdate { project }; // completes or rolls back what the kill left
        QCOMPARE(local(), QStringList { "P" });
        QCOMPARE(readAll(project + "/" + kModelFile), pairs[which][0]);
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
        const LocalCentralStore central(QString::fromLocal8Bit(argv[2]));
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
