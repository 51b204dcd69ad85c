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

#include <sys/wait.h>
#include <unistd.h>

using namespace KObjectIDLayout;
using Ids = std::vector<std::uint64_t>;

namespace {

// Run with this switch, the program prints identifiers instead of testing.
const char emitSwitch[] = "--emit-ids";

std::uint64_t nowField()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return timeField(std::chrono::duration_cast<std::chrono::seconds>(now).count());
}

Ids makeIds(std::size_t count)
{
    Ids ids(count);
    std::generate(ids.begin(), ids.end(), &KObjectID::NewID);
    return ids;
}

bool strictlyIncreasing(const Ids& ids)
{
    return std::adjacent_find(ids.begin(), ids.end(), std::greater_equal<>()) == ids.end();
}

bool disjoint(Ids a, Ids b)
{
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    Ids shared;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(shared));
    return shared.empty();
}

} // namespace

Q_DECLARE_METATYPE(std::uint64_t)

class KObjectIDTest : public QObject
{
    Q_OBJECT

private slots:
    // Runs first: the first identifier of the process carries its start time.
    void idsAreNonZeroAndIncreasing()
    {
        const std::uint64_t before = nowField();
        // Far more than one counter's worth, so the time field moves on many times.
        const Ids ids = makeIds(100 * (counterMask + 1));
        QVERIFY(timeOf(ids.front()) >= before && timeOf(ids.front()) <= nowField());
        QVERIFY(ids.front() != 0 && strictlyIncreasing(ids));
        const auto ownProcess = processField(std::uint64_t(QCoreApplication::applicationPid()));
        QCOMPARE(processOf(ids.front()), ownProcess);
        QCOMPARE(processOf(ids.back()), ownProcess);
    }

    void twoThreadsNeverShareAnId()
    {
        Ids first, second;
        std::atomic<int> ready { 0 };
        auto run = [&ready](Ids& out) {
            // Start together so that the two really compete for the counter.
            ++ready;
            while (ready.load() < 2) { }
            out = makeIds(1000000);
        };
        std::thread a(run, std::ref(first));
        std::thread b(run, std::ref(second));
        a.join();
        b.join();
        QVERIFY(strictlyIncreasing(first) && strictlyIncreasing(second));
        QVERIFY(disjoint(first, second));
    }

    void anotherProcessMakesOtherIds()
    {
        const int count = 20000;
        Ids ours = makeIds(count);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
            { QString::fromLatin1(emitSwitch), QString::number(count) });
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        const Ids after = makeIds(count);
        ours.insert(ours.end(), after.begin(), after.end());

        Ids theirs;
        for (const QByteArray& line : child.readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                theirs.push_back(line.toULongLong());
        QCOMPARE(theirs.size(), std::size_t(count));
        QVERIFY(strictlyIncreasing(theirs));
        QVERIFY(processOf(theirs.front()) != processOf(ours.front()));
        QVERIFY(disjoint(ours, theirs));
    }

    void forkedChildMakesOtherIds()
    {
        KObjectID::NewID();
        int fds[2];
        QCOMPARE(pipe(fds), 0);
        const pid_t pid = fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            // The child continues from a copy of the parent's state.
            const std::uint64_t id = KObjectID::NewID();
            _exit(write(fds[1], &id, sizeof id) == sizeof id ? 0 : 1);
        }
        close(fds[1]);
        const std::uint64_t parentId = KObjectID::NewID();
        std::uint64_t childId = 0;
        QCOMPARE(read(fds[0], &childId, sizeof childId), ssize_t(sizeof childId));
        close(fds[0]);
        waitpid(pid, nullptr, 0);
        QCOMPARE(processOf(childId), processField(std::uint64_t(pid)));
        QVERIFY(childId != parentId);
    }

    void successorRules_data()
    {
        QTest::addColumn<std::uint64_t>("id");
        QTest::addColumn<std::uint64_t>("clock");
        QTest::addColumn<std::uint64_t>("expected");
        const std::uint64_t p = 4242;
        const std::uint64_t full = counterMask;
        QTest::newRow("counter has room")
            << compose(100, p, 5) << std::uint64_t(900) << compose(100, p, 6);
        QTest::newRow("counter full, same second")
            << compose(100, p, full) << std::uint64_t(100) << compose(101, p, 0);
        QTest::newRow("counter full, clock ahead")
            << compose(100, p, full) << std::uint64_t(500) << compose(500, p, 0);
        QTest::newRow("counter full, clock set back")
            << compose(100, p, full) << std::uint64_t(3) << compose(101, p, 0);
        QTest::newRow("last second of the layout")
            << compose(maxTimeField, p, full) << maxTimeField << compose(maxTimeField, p, full) + 1;
    }

    void successorRules()
    {
        QFETCH(std::uint64_t, id);
        QFETCH(std::uint64_t, clock);
        QFETCH(std::uint64_t, expected);
        QCOMPARE(successor(id, processOf(id), clock), expected);
    }

    void timeFieldOfClock()
    {
        QCOMPARE(timeField(0), std::uint64_t(1)); // a clock before the epoch
        QCOMPARE(timeField(epochSeconds), std::uint64_t(1));
        QCOMPARE(timeField(epochSeconds + 86400), std::uint64_t(86400));
        QCOMPARE(timeField(epochSeconds + std::int64_t(maxTimeField) + 10), maxTimeField);
    }
};

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], emitSwitch) == 0) {
        for (long i = std::atol(argv[2]); i > 0; --i)
            std::printf("%llu\n", static_cast<unsigned long long>(KObjectID::NewID()));
        return 0;
    }
    QCoreApplication app(argc, argv);
    KObjectIDTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_kobjectid.moc"
