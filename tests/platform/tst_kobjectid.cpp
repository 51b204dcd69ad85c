#include <krvcommon/KObjectID.h>
#include <krvcommon/KObjectIDLayout.h>

#include <QCoreApplication>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using namespace KObjectIDLayout;
using Ids = std::vector<std::uint64_t>;

namespace {

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
        const std::size_t count = 20000;
        Ids ours = makeIds(count);
        int fds[2];
        QCOMPARE(pipe(fds), 0);
        const pid_t pid = fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            // The child continues from a copy of the parent's state.
            const Ids ids = makeIds(count);
            const auto bytes = ssize_t(count * sizeof(std::uint64_t));
            _exit(write(fds[1], ids.data(), std::size_t(bytes)) == bytes ? 0 : 1);
        }
        close(fds[1]);
        const Ids after = makeIds(count);
        ours.insert(ours.end(), after.begin(), after.end());
        Ids theirs(count);
        std::size_t got = 0;
        for (ssize_t n = 1; n > 0 && got < count * sizeof(std::uint64_t); got += std::size_t(n))
            n = read(fds[0], reinterpret_cast<char*>(theirs.data()) + got,
                count * sizeof(std::uint64_t) - got);
        close(fds[0]);
        int status = -1;
        waitpid(pid, &status, 0);
        QCOMPARE(status, 0);
        QVERIFY(strictlyIncreasing(theirs));
        QCOMPARE(processOf(theirs.front()), processField(std::uint64_t(pid)));
        QVERIFY(disjoint(ours, theirs));
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

QTEST_GUILESS_MAIN(KObjectIDTest)

#include "tst_kobjectid.moc"
