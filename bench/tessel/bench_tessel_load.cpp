// Loading a model file of 1,000,000 records over 20 tables, against a plain
// sqlite3 loop that reads every value of the same file's record tables, and
// the peak memory of a process that loads it, against the file's size.
//
//   bench_tessel_load [--records N] [--tables T] [--rounds R]
#include "BenchArguments.h"
#include "BenchClock.h"
#include "PlainModelRead.h"
#include "ProcStatus.h"
#include "ProjectGenerator.h"
#include "Rounds.h"

#include <tessel/Tessel.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

qint64 modelLoad(const QString& path)
{
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
    TesselModelPersistent(model).loadFromFile(path, false, true);
    return model.findTable(QStringLiteral("DB"), QStringLiteral("project")).recordCount();
}

// Runs in a child process: loads the file (or not) and prints the peak RSS.
int measureChild(const QStringList& arguments)
{
    const bool load = arguments.value(0) == QLatin1String("--measure-load");
    if (load)
        modelLoad(arguments.value(1));
    std::printf("%lld\n", static_cast<long long>(procStatusKiB("VmHWM")));
    return 0;
}

qint64 childPeakKiB(const QString& mode, const QString& path)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { mode, path });
    child.waitForFinished(-1);
    return child.readAllStandardOutput().trimmed().toLongLong();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.value(0).startsWith(QLatin1String("--measure-")))
        return measureChild(arguments);

    const BenchSize size = readBenchSize(arguments, { 1000000, 20, 5 });
    const ProjectGenerator::Options options { size.records, size.tables, true };
    const int rounds = size.rounds;

    QTemporaryDir dir;
    const QString path = dir.filePath(ProjectGenerator::modelFileName());
    {
        QElapsedTimer timer;
        timer.start();
        const TesselModel model = ProjectGenerator::buildModel(options);
        TesselModelPersistent(model).saveToFile(path);
        std::printf("generated %lld records over %d tables in %.0f ms\n",
            static_cast<long long>(options.records), options.tables, millis(timer));
    }
    const qint64 fileBytes = QFileInfo(path).size();

    // Warm the page cache, then alternate the two readings.
    plainModelRead(path);
    Comparison load(QStringLiteral("loadFromFile, %1 records").arg(options.records),
        QStringLiteral("plain sqlite3 loop"), 1.5);
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        plainModelRead(path);
        const double plain = millis(timer);
        timer.restart();
        modelLoad(path);
        load.add(millis(timer), plain);
    }

    const qint64 idleKiB = childPeakKiB(QStringLiteral("--measure-idle"), path);
    const qint64 loadedKiB = childPeakKiB(QStringLiteral("--measure-load"), path);
    const double fileMiB = double(fileBytes) / (1024.0 * 1024.0);
    std::printf("file size:          %.1f MiB\n", fileMiB);
    load.print();
    std::printf(
        "peak RSS idle:      %.1f MiB (process without a model)\n", double(idleKiB) / 1024.0);
    std::printf("peak RSS loaded:    %.1f MiB\n", double(loadedKiB) / 1024.0);
    std::printf("peak RSS / file:    %.2fx (goal <= 2x)\n", double(loadedKiB) / 1024.0 / fileMiB);
    return 0;
}
