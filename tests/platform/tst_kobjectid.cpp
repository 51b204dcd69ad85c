#include <krvcommon/KObjectID.h>
#include <krvcommon/KObjectIDLayout.h>

#include <QCoreApplication>
#include <QProcess>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// Run with this switch, the test program prints identifiers instead of testing:
// the second process of the cross-process case.
const char emitSwitch[] = "--emit-ids";

using namespace KObjectIDLayout;

std::uint64_t nowField()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return timeField(std::chrono::duration_cast<std::chrono::seconds>(now).count());
}

std::uint64_t ownProcessField()
{
    return processField(static_cast<std::uint64_t>(QCoreApplication::applicationPid()));
}

std::vector<std::uint64_t> makeIds(std::size_t count)
{
    std::vector<std::uint64_t> ids;
    ids.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        ids.push_back(KObjectID::NewID());
    return ids;
}

bool strictlyIncreasing(const std::vector<std::uint64_t>& ids)
{
    return std::adjacent_find(ids.begin(), ids.end(), [](std::uint64_t a, std::uint64_t b) {
        return a >= b;
    }) == ids.end();
}

} // namespace

Q_DECLARE_METATYPE(std::uint64_t)

class KObjectIDTest : public QObject
{
    Q_OBJECT

private slots:
    // Must run first: it checks the first identifier of the process.
    void firstIdCarriesStartTimeAndProcess();
    void idsAreNonZeroAndIncreasing();
    void twoThreadsNeverShareAnId();
    void anotherProcessMakesOtherIds();
    void forkedChildMakesOtherIds();
    void successorRules_data();
    void successorRules();
    void timeFieldOfClock_data();
    void timeFieldOfClock();
};

void KObjectIDTest::firstIdCarriesStartTimeAndProcess()
{
    const std::uint64_t before = nowField();
    const std::uint64_t id = KObjectID::NewID();
    const std::uint64_t after = nowField();
    QVERIFY(timeOf(id) >= before && timeOf(id) <= after);
    QCOMPARE(processOf(id), ownProcessField());
}

void KObjectIDTest::idsAreNonZeroAndIncreasing()
{
    // Far more than one counter's worth, so the time field moves on many times.
    const std::vector<std::uint64_t> ids = makeIds(100 * (counterMask + 1));
    QVERIFY(std::find(ids.begin(), ids.end(), 0u) == ids.end());
    QVERIFY(strictlyIncreasing(ids));
    QCOMPARE(processOf(ids.back()), ownProcessField());
}

void KObjectIDTest::twoThreadsNeverShareAnId()
{
    const std::size_t perThread = 1000000;
    std::vector<std::uint64_t> first, second;
    std::atomic<int> ready { 0 };
    auto run = [&](std::vector<std::uint64_t>& out) {
        // Start together so that the two really compete for the counter.
        ++ready;
        while (ready.load() < 2) { }
        out = makeIds(perThread);
    };
    std::thread a(run, std::ref(first));
    std::thread b(run, std::ref(second));
    a.join();
    b.join();

    QVERIFY(strictlyIncreasing(first));
    QVERIFY(strictlyIncreasing(second));
    std::vector<std::uint64_t> all(first);
    all.insert(all.end(), second.begin(), second.end());
    std::sort(all.begin(), all.end());
    QVERIFY(std::adjacent_find(all.begin(), all.end()) == all.end());
    QVERIFY(all.front() != 0);
}

void KObjectIDTest::anotherProcessMakesOtherIds()
{
    const int count = 20000;
    std::vector<std::uint64_t> ours = makeIds(count);

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
        { QString::fromLatin1(emitSwitch), QString::number(count) });
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitCode(), 0);

    const auto after = makeIds(count);
    ours.insert(ours.end(), after.begin(), after.end());

    std::vector<std::uint64_t> theirs;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        if (line.isEmpty())
            continue;
        bool ok = false;
        theirs.push_back(line.toULongLong(&ok));
        QVERIFY(ok);
    }
    QCOMPARE(theirs.size(), std::size_t(count));
    QVERIFY(strictlyIncreasing(theirs));
    QVERIFY(processOf(theirs.front()) != processOf(ours.front()));

    std::sort(ours.begin(), ours.end());
    std::vector<std::uint64_t> shared;
    std::set_intersection(
        ours.begin(), ours.end(), theirs.begin(), theirs.end(), std::back_inserter(shared));
    QVERIFY(shared.empty());
}

void KObjectIDTest::forkedChildMakesOtherIds()
{
#ifdef _WIN32
    QSKIP("no fork on Windows");
#else
    KObjectID::NewID();
    int fds[2];
    QCOMPARE(pipe(fds), 0);
    const pid_t pid = fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        // The child continues from a copy of the parent's state.
        const std::uint64_t id = KObjectID::NewID();
        const ssize_t written = write(fds[1], &id, sizeof id);
        _exit(written == sizeof id ? 0 : 1);
    }
    close(fds[1]);
    const std::uint64_t parentId = KObjectID::NewID();
    std::uint64_t childId = 0;
    const ssize_t got = read(fds[0], &childId, sizeof childId);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    QCOMPARE(got, ssize_t(sizeof childId));
    QCOMPARE(processOf(childId), processField(static_cast<std::uint64_t>(pid)));
    QVERIFY(childId != parentId);
#endif
}

void KObjectIDTest::successorRules_data()
{
    QTest::addColumn<std::uint64_t>("id");
    QTest::addColumn<std::uint64_t>("clock");
    QTest::addColumn<std::uint64_t>("expected");

    const std::uint64_t process = 4242;
    QTest::newRow("counter has room")
        << compose(100, process, 5) << std::uint64_t(100) << compose(100, process, 6);
    QTest::newRow("clock ignored while counter has room")
        << compose(100, process, 5) << std::uint64_t(900) << compose(100, process, 6);
    QTest::newRow("counter full, same second")
        << compose(100, process, counterMask) << std::uint64_t(100) << compose(101, process, 0);
    QTest::newRow("counter full, clock ahead")
        << compose(100, process, counterMask) << std::uint64_t(500) << compose(500, process, 0);
    QTest::newRow("counter full, clock set back")
        << compose(100, process, counterMask) << std::uint64_t(3) << compose(101, process, 0);
    QTest::newRow("last second of the layout") << compose(maxTimeField, process,
        counterMask) << maxTimeField << compose(maxTimeField, process, counterMask) + 1;
}

void KObjectIDTest::successorRules()
{
    QFETCH(std::uint64_t, id);
    QFETCH(std::uint64_t, clock);
    QFETCH(std::uint64_t, expected);
    const std::uint64_t next = successor(id, processOf(id), clock);
    QCOMPARE(next, expected);
    QVERIFY(next > id);
}

void KObjectIDTest::timeFieldOfClock_data()
{
    QTest::addColumn<qint64>("unixSeconds");
    QTest::addColumn<std::uint64_t>("expected");
    QTest::newRow("clock before the epoch") << qint64(0) << std::uint64_t(1);
    QTest::newRow("at the epoch") << qint64(epochSeconds) << std::uint64_t(1);
    QTest::newRow("a day later") << qint64(epochSeconds + 86400) << std::uint64_t(86400);
    QTest::newRow("beyond the layout")
        << qint64(epochSeconds) + qint64(maxTimeField) + 10 << maxTimeField;
}

void KObjectIDTest::timeFieldOfClock()
{
    QFETCH(qint64, unixSeconds);
    QFETCH(std::uint64_t, expected);
    QCOMPARE(timeField(unixSeconds), expected);
}

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], emitSwitch) == 0) {
        const unsigned long count = std::strtoul(argv[2], nullptr, 10);
        for (unsigned long i = 0; i < count; ++i)
            std::printf("%llu\n", static_cast<unsigned long long>(KObjectID::NewID()));
        return 0;
    }
    QCoreApplication app(argc, argv);
    KObjectIDTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_kobjectid.moc"
