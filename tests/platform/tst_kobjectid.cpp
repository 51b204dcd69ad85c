// The identifiers the library gives new records: never zero, increasing, and
// never shared between threads or processes.
#include <bimcore/platform/krvcommon/KObjectID.h>
#include <bimcore/platform/krvcommon/KObjectIDLayout.h>

#include <QCoreApplication>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

using namespace KObjectIDLayout;
using Ids = std::vector<std::uint64_t>;

Q_DECLARE_METATYPE(std::uint64_t)

namespace {

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

class KObjectIDTest : public QObject
{
    Q_OBJECT

private slots:
    void idsAreNonZeroAndIncreasing()
    {
        // Far more than one counter's worth, so the time field moves on many times.
        const Ids ids = makeIds(100 * (counterMask + 1));
        QVERIFY(ids.front() != 0 && strictlyIncreasing(ids));
        // What sets them apart from the identifiers of other processes.
        QCOMPARE(
            processOf(ids.back()), processField(std::uint64_t(QCoreApplication::applicationPid())));
    }

    void twoThreadsNeverShareAnId()
    {
        Ids first, second;
        std::atomic<int> ready { 0 };
        auto run = [&ready](Ids& out) {
            // Start together so that the two really compete for the counter.
            for (++ready; ready.load() < 2;) { }
            out = makeIds(1000000);
        };
        std::thread a(run, std::ref(first));
        std::thread b(run, std::ref(second));
        a.join();
        b.join();
        QVERIFY(strictlyIncreasing(first) && strictlyIncreasing(second));
        QVERIFY(disjoint(first, second));
    }

    // A full counter moves the time on; a clock set back must not repeat ids.
    void successorRules_data()
    {
        QTest::addColumn<std::uint64_t>("id");
        QTest::addColumn<std::uint64_t>("clock");
        QTest::addColumn<std::uint64_t>("expected");
        const std::uint64_t p = 4242;
        const std::uint64_t full = counterMask;
        QTest::newRow("counter full, same second")
            << compose(100, p, full) << std::uint64_t(100) << compose(101, p, 0);
        QTest::newRow("counter full, clock ahead")
            << compose(100, p, full) << std::uint64_t(500) << compose(500, p, 0);
        QTest::newRow("counter full, clock set back")
            << compose(100, p, full) << std::uint64_t(3) << compose(101, p, 0);
    }

    void successorRules()
    {
        QFETCH(std::uint64_t, id);
        QFETCH(std::uint64_t, clock);
        QFETCH(std::uint64_t, expected);
        QCOMPARE(successor(id, processOf(id), clock), expected);
    }
};

QTEST_GUILESS_MAIN(KObjectIDTest)
#include "tst_kobjectid.moc"
