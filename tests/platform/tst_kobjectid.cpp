// The identifiers the library gives new records: never zero, increasing, and
// never shared between threads or processes.
#include <bimcore/platform/krvcommon/KObjectID.h>

#include <QtTest>

#include <algorithm>
#include <thread>
#include <vector>

using Ids = std::vector<std::uint64_t>;

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

} // namespace

class KObjectIDTest : public QObject
{
    Q_OBJECT

private slots:
    // Many counters' worth in each thread, so that the time moves on many times.
    void twoThreadsNeverShareAnId()
    {
        Ids first, second;
        std::thread a([&first] { first = makeIds(300000); });
        std::thread b([&second] { second = makeIds(300000); });
        a.join();
        b.join();
        QVERIFY(first.front() != 0 && strictlyIncreasing(first) && strictlyIncreasing(second));
        // The process bits set them apart from the identifiers of other processes.
        QCOMPARE((first.back() >> 12) % (1u << 22),
            std::uint64_t(QCoreApplication::applicationPid()) % (1u << 22));
        Ids all = first;
        all.insert(all.end(), second.begin(), second.end());
        std::sort(all.begin(), all.end());
        QVERIFY(std::adjacent_find(all.begin(), all.end()) == all.end());
    }
};

QTEST_GUILESS_MAIN(KObjectIDTest)
#include "tst_kobjectid.moc"
