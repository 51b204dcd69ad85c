// Loading a model file (records over 20 tables, identifiers converted) against
// a plain sqlite3 loop that reads every value of the same file's record
// tables, and the peak memory of a process that loads it. The stand-in only
// has to stay reasonable: both are bounds, the load at most twice the plain
// loop, the peak at most three times the file plus the same process's own
// base (measured in a child that loads nothing).
//
// Each round times ours and the reference once, the one that goes first
// alternating; the figures are medians and min-max of the rounds.
//
//   bench_tessel_load [--records N] [--tables T] [--rounds R]
//   (without --records: 100,000 and 1,000,000 records, one after the other)
#include "BenchArguments.h"
#include "BenchClock.h"
#include "PlainModelRead.h"
#include "ProcStatus.h"
#include "ProjectGenerator.h"
#include "Rounds.h"

#include <bimcore/platform/tessel/Tessel.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

// The milliseconds of the load alone, without releasing the model.
double modelLoad(const QString& path, qint64* projects = nullptr)
{
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
    QElapsedTimer timer;
    timer.start();
    TesselModelPersistent(model).loadFromFile(path, false, true);
    const double elapsed = millis(timer);
    if (projects)
        *projects = model.findTable(QStringLiteral("DB"), QStringLiteral("project")).recordCount();
    return elapsed;
}

// Runs in a child process: loads the file (or not) and prints the peak RSS.
int measureChild(const QStringList& arguments)
{
    if (arguments.value(0) == QLatin1String("--measure-load")) {
        qint64 projects = 0;
        modelLoad(arguments.value(1), &projects);
        if (projects != 1)
            return 1;
    }
    return printPeakKiB();
}

void run(const QString& folder, qint64 records, int tables, int rounds)
{
    const ProjectGenerator::Options options { records, tables, true };
    const QString path = folder + QStringLiteral("/model-%1.Tessel").arg(records);
    {
        QElapsedTimer timer;
        timer.start();
        const TesselModel model = ProjectGenerator::buildModel(options);
        TesselModelPersistent(model).saveToFile(path);
        std::printf("\n== %lld records over %d tables, generated in %.0f ms\n",
            static_cast<long long>(records), tables, millis(timer));
    }
    const double fileMiB = double(QFileInfo(path).size()) / (1024.0 * 1024.0);

    // Warm the page cache, then alternate the two readings.
    plainModelRead(path);
    Comparison load(QStringLiteral("loadFromFile, %1 records").arg(records),
        QStringLiteral("plain sqlite3 loop"), 2.0, Limit::Bound);
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        double ours = 0;
        double plain = 0;
        for (int turn = 0; turn < 2; ++turn) {
            timer.start();
            if ((turn + round) % 2 == 0) {
                ours = modelLoad(path);
            } else {
                plainModelRead(path);
                plain = millis(timer);
            }
        }
        load.add(ours, plain);
    }
    std::printf("file size: %.1f MiB\n", fileMiB);
    load.print();

    const double idleMiB = double(childPeakKiB(QStringLiteral("--measure-idle"), path)) / 1024.0;
    const double loadedMiB = double(childPeakKiB(QStringLiteral("--measure-load"), path)) / 1024.0;
    std::printf("peak RSS idle (process without a model): %.1f MiB\n", idleMiB);
    printPeakMemoryBound(QStringLiteral("peak RSS loaded, %1 records").arg(records), "file", 3,
        loadedMiB, fileMiB, idleMiB);
    QFile::remove(path);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.value(0).startsWith(QLatin1String("--measure-")))
        return measureChild(arguments);

    const BenchSize size = readBenchSize(arguments, { 0, 20, 7 });
    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary folder");
    for (const qint64 records : recordCounts(size))
        run(dir.path(), records, size.tables, size.rounds);
    return 0;
}
