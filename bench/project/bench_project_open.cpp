// Opening a freshly delivered project (identifier fields marked "Int64", not
// yet converted) with DatabaseManager::OpenProject, against a plain sqlite3
// loop that reads every value of the same model file's record tables: with
// the files in the page cache and with both files dropped from it before each
// reading; where the opening spends its time; the first element type name
// lookup (which opens the project) beside the repeated one; and the peak
// memory of a process that opened the project, against the files' size plus
// the same process's own base.
//
// Opening converts the identifiers in memory only: the model file stays as
// delivered. Each round still works on a fresh copy of the delivered files,
// flushed to disk, so that every round starts from what a host gets.
// Each round times ours and the reference once, the one that goes first
// alternating; the figures are medians and min-max of the rounds.
//
//   bench_project_open [--records N] [--tables T] [--rounds R]
//   (without --records: 100,000 and 1,000,000 records, one after the other)
#include "BenchArguments.h"
#include "BenchClock.h"
#include "KernelCopy.h"
#include "PlainModelRead.h"
#include "ProcStatus.h"
#include "ProjectGenerator.h"
#include "Rounds.h"

#include <bimcore/core/Global.h>
#include <bimcore/project/Project.h>
#include <bimcore/storage/DatabaseManager.h>
#include <bimcore/storage/ElementType.h>

#include <bimcore/platform/ksqlite/KSqlDatabase.h>
#include <bimcore/platform/tessel/Tessel.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <linux/magic.h>
#include <memory>
#include <sys/vfs.h>
#include <unistd.h>
#include <vector>

namespace {

const QString kModel = ProjectGenerator::modelFileName();
const QString kDatabase = ProjectGenerator::databaseFileName();

// The host's project, registered so that the dictionary can open the model.
class BenchProject : public Project
{
public:
    BenchProject() { s_pSelf = this; }
};

// A fresh copy of the delivered project in its own folder.
QString freshCopy(const QString& delivered, const QString& base, int& counter)
{
    const QString folder = base + QStringLiteral("/copy-%1").arg(++counter);
    if (!QDir().mkpath(folder))
        qFatal("cannot create %s", qPrintable(folder));
    copyFlushed(delivered + "/" + kModel, folder + "/" + kModel);
    copyFlushed(delivered + "/" + kDatabase, folder + "/" + kDatabase);
    return folder;
}

void dropProject(const QString& folder)
{
    if (!dropFromPageCache(folder + "/" + kModel) || !dropFromPageCache(folder + "/" + kDatabase))
        qFatal("the kernel refused to drop %s from the page cache", qPrintable(folder));
}

double timePlain(const QString& folder)
{
    QElapsedTimer timer;
    timer.start();
    plainModelRead(folder + "/" + kModel);
    return millis(timer);
}

double timeOpen(const QString& folder)
{
    QElapsedTimer timer;
    timer.start();
    const std::shared_ptr<DatabaseManager> manager = DatabaseManager::OpenProject(folder);
    const double elapsed = millis(timer);
    if (!manager)
        qFatal("no project at %s", qPrintable(folder));
    return elapsed;
}

// Ours and the reference once each, the first of them alternating by round.
void alternate(int round, const std::function<void()>& ours, const std::function<void()>& theirs)
{
    if (round % 2 == 0) {
        ours();
        theirs();
    } else {
        theirs();
        ours();
    }
}

// The steps of an opening, one by one, through the libraries' own calls: the
// load, the conversion of the marked fields, and the database.
struct Steps
{
    double load = 0;
    double convert = 0;
    double database = 0;
    int convertedFields = 0;
};

Steps openStepByStep(const QString& folder)
{
    Steps steps;
    QElapsedTimer timer;
    timer.start();
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine(nullptr));
    TesselModelPersistent(model).loadFromFile(folder + "/" + kModel, false, true);
    steps.load = millis(timer);

    timer.restart();
    model.setMode(tmDesign);
    for (int d = 0; d < model.databaseCount(); ++d) {
        const TesselTables tables = model.databases(d).tables();
        for (int t = 0; t < tables.count(); ++t) {
            const TesselFieldSchemas fields = tables.items(t).tableSchema().fieldSchemas();
            for (int f = 0; f < fields.count(); ++f) {
                TesselFieldSchema field = fields.items(f);
                const TesselExtPropDef marker = field.extPropDefs().find("DataType");
                if (marker && marker.value() == QLatin1String("Int64")) {
                    field.setDataType(tdtInt64);
                    ++steps.convertedFields;
                }
            }
        }
    }
    steps.convert = millis(timer);

    timer.restart();
    KSQLite::KSqlDatabase database;
    database.Open((folder + "/" + kDatabase).toStdString(), true);
    steps.database = millis(timer);
    return steps;
}

// Runs in a child process: opens the project (or not) and prints the peak RSS.
int measureChild(const QStringList& arguments)
{
    if (arguments.value(0) == QLatin1String("--measure-open")) {
        const std::shared_ptr<DatabaseManager> manager
            = DatabaseManager::OpenProject(arguments.value(1));
        if (!manager)
            return 1;
    }
    return printPeakKiB();
}

void run(const QString& base, qint64 records, int tables, int rounds)
{
    const ProjectGenerator::Options options { records, tables, false };
    const QString delivered = base + QStringLiteral("/delivered-%1").arg(records);
    {
        QElapsedTimer timer;
        timer.start();
        ProjectGenerator::writeProject(delivered, options);
        std::printf("\n== %lld unconverted records over %d tables (model file %.1f MiB), "
                    "generated in %.0f ms\n",
            static_cast<long long>(records), tables,
            double(QFileInfo(delivered + "/" + kModel).size()) / (1024.0 * 1024.0), millis(timer));
    }
    int copies = 0;
    const auto done = [](const QString& folder) { QDir(folder).removeRecursively(); };

    // Warm: the fresh copy is in the page cache as it was just written.
    timePlain(freshCopy(delivered, base, copies)); // the first reading of all pays the start
    Comparison warm(QStringLiteral("OpenProject, delivered, %1 records, warm").arg(records),
        QStringLiteral("plain sqlite3 loop, warm"), 1.25);
    Samples load;
    Samples convert;
    int convertedFields = 0;
    for (int round = 0; round < rounds; ++round) {
        const QString folder = freshCopy(delivered, base, copies);
        double ours = 0;
        double theirs = 0;
        alternate(
            round, [&] { ours = timeOpen(folder); }, [&] { theirs = timePlain(folder); });
        warm.add(ours, theirs);
        const Steps steps = openStepByStep(folder);
        load.add(steps.load);
        convert.add(steps.convert);
        convertedFields = steps.convertedFields;
        done(folder);
    }
    warm.print();
    printFigure(QStringLiteral("OpenProject step by step: model load, %1 records").arg(records),
        load, "ms");
    printFigure(QStringLiteral("OpenProject step by step: conversion, %1 records").arg(records),
        convert, "ms", QStringLiteral("%1 fields").arg(convertedFields));

    // Cold: both files dropped from the page cache before each reading.
    Comparison cold(QStringLiteral("OpenProject, delivered, %1 records, cold").arg(records),
        QStringLiteral("plain sqlite3 loop, cold"), 1.25);
    for (int round = 0; round < rounds; ++round) {
        const QString folder = freshCopy(delivered, base, copies);
        double ours = 0;
        double theirs = 0;
        alternate(
            round,
            [&] {
                dropProject(folder);
                ours = timeOpen(folder);
            },
            [&] {
                dropProject(folder);
                theirs = timePlain(folder);
            });
        cold.add(ours, theirs);
        done(folder);
    }
    cold.print();

    // Element type names: the first lookup opens the project and reads the
    // table; the rest read the dictionary.
    Samples first;
    Samples repeated;
    QString name;
    ElementType* dictionary = ElementType::instance();
    for (int round = 0; round < rounds; ++round) {
        const QString folder = freshCopy(delivered, base, copies);
        Singleton<Global>::instance()->m_projectPath = folder;
        Project::instance()->close();
        *dictionary = ElementType();
        QElapsedTimer timer;
        timer.start();
        name = dictionary->getElementTypeNamebyId(1001);
        first.add(millis(timer));
        const int lookups = 200000;
        qint64 characters = 0;
        timer.restart();
        for (int i = 0; i < lookups; ++i)
            characters += dictionary->getElementTypeNamebyId(1000 + i % 64).size();
        repeated.add(double(timer.nsecsElapsed()) / lookups);
        if (characters == 0)
            qFatal("the element types have no names");
        Project::instance()->close();
        done(folder);
    }
    printFigure(
        QStringLiteral("first element type lookup (opens the project), %1 records").arg(records),
        first, "ms", QStringLiteral("\"%1\"").arg(name));
    printFigure(
        QStringLiteral("repeated element type lookup, %1 records").arg(records), repeated, "ns");

    // Peak memory of a process that opened the project.
    const QString folder = freshCopy(delivered, base, copies);
    const qint64 idleKiB = childPeakKiB(QStringLiteral("--measure-idle"), folder);
    const qint64 openKiB = childPeakKiB(QStringLiteral("--measure-open"), folder);
    const double filesMiB = double(QFileInfo(folder + "/" + kModel).size()
                                + QFileInfo(folder + "/" + kDatabase).size())
        / (1024.0 * 1024.0);
    printPeakMemory(QStringLiteral("peak RSS, OpenProject, %1 records").arg(records), "files",
        double(openKiB) / 1024.0, filesMiB, double(idleKiB) / 1024.0);
    done(folder);
    done(delivered);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.value(0).startsWith(QLatin1String("--measure-")))
        return measureChild(arguments);

    const BenchSize size = readBenchSize(arguments, { 0, 20, 7 });

    // On the disk's file system (not tmpfs), so that dropping the page cache
    // makes the next reading come from the disk.
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/bench_project_open-XXXXXX"));
    if (!dir.isValid())
        qFatal("no temporary folder");
    struct statfs fileSystem
    {
    };
    if (statfs(QFile::encodeName(dir.path()).constData(), &fileSystem) != 0
        || fileSystem.f_type == TMPFS_MAGIC)
        qFatal("%s is on tmpfs, whose files never leave memory: set TMPDIR to a folder on a disk",
            qPrintable(dir.path()));
    new BenchProject();
    for (const qint64 records : recordCounts(size))
        run(dir.path(), records, size.tables, size.rounds);
    Project::destory();
    return 0;
}
