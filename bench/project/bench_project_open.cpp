// Opening a freshly delivered project (identifier fields marked "Int64", not
// yet converted) with DatabaseManager::OpenProject, against the stand-ins'
// own work it calls: the model load through TesselModelPersistent::loadFromFile,
// the type change of every field marked "Int64" (TesselFieldSchema::setDataType,
// the data-model library's conversion) and the database's opening through
// KSqlDatabase::Open. What is left of the ratio is the library's own share of
// an open (its checks of the folder, finding the marked fields, binding the
// identifier handler, the mode), which has a goal; with the files in the page
// cache and with both files dropped from it before each reading. Beside
// it, for information only, the warm open against a plain sqlite3 loop that
// reads every value of the model file's record tables. Then the first element
// type name lookup (which opens the project) beside the repeated one, and the
// peak memory of a process that opened the project, which the stand-in's model
// dominates: a bound of three times the files' size plus the same process's
// own base.
//
// Opening converts the identifiers in memory only: the model file stays as
// delivered. Each round still works on a fresh copy of the delivered files,
// flushed to disk, so that every round starts from what a host gets.
// Each round times every contestant once, the one that goes first rotating;
// the figures are medians and min-max of the rounds.
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

// The identifier conversion an opening asks of the model: every field marked
// "DataType" = "Int64" given that type. Returns the number of fields.
int convertMarkedFields(TesselModel& model)
{
    int converted = 0;
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
                    ++converted;
                }
            }
        }
    }
    return converted;
}

struct StandInTimes
{
    double calls = 0; // the model load and the database's opening
    double conversion = 0;
    int convertedFields = 0;
};

// The stand-ins' calls an opening makes: the load and the database's opening
// timed together, then the conversion the library asks of the loaded model;
// together what OpenProject costs without the library's own work.
StandInTimes timeStandIns(const QString& folder)
{
    StandInTimes times;
    QElapsedTimer timer;
    timer.start();
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine(nullptr));
    TesselModelPersistent(model).loadFromFile(folder + "/" + kModel, false, true);
    KSQLite::KSqlDatabase database;
    database.Open((folder + "/" + kDatabase).toStdString(), true);
    times.calls = millis(timer);
    timer.restart();
    times.convertedFields = convertMarkedFields(model);
    times.conversion = millis(timer);
    return times;
}

// Every contestant once, the first of them rotating by round.
void rotate(int round, const std::vector<std::function<void()>>& contestants)
{
    for (size_t i = 0; i < contestants.size(); ++i)
        contestants[(i + size_t(round)) % contestants.size()]();
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
    const QString name = QStringLiteral("OpenProject, delivered, %1 records, ").arg(records);
    const QString standIns
        = QStringLiteral("model load, its conversion, database open (stand-ins), ");
    Comparison warm(name + "warm", standIns + "warm", 1.25);
    Comparison warmPlain(name + "warm", QStringLiteral("plain sqlite3 loop, warm"), 0);
    Samples conversion;
    int convertedFields = 0;
    for (int round = 0; round < rounds; ++round) {
        const QString folder = freshCopy(delivered, base, copies);
        double ours = 0;
        StandInTimes theirs;
        double plain = 0;
        rotate(round,
            { [&] { ours = timeOpen(folder); }, [&] { theirs = timeStandIns(folder); },
                [&] { plain = timePlain(folder); } });
        warm.add(ours, theirs.calls + theirs.conversion);
        warmPlain.add(ours, plain);
        conversion.add(theirs.conversion);
        convertedFields = theirs.convertedFields;
        done(folder);
    }
    warm.print();
    printFigure(QStringLiteral("conversion of the marked fields, %1 records").arg(records),
        conversion, "ms", QStringLiteral("%1 fields").arg(convertedFields));
    warmPlain.print();

    // Cold: both files dropped from the page cache before each reading.
    Comparison cold(name + "cold", standIns + "cold", 1.25);
    for (int round = 0; round < rounds; ++round) {
        const QString folder = freshCopy(delivered, base, copies);
        double ours = 0;
        double theirs = 0;
        rotate(round,
            { [&] {
                 dropProject(folder);
                 ours = timeOpen(folder);
             },
                [&] {
                    dropProject(folder);
                    const StandInTimes standInTimes = timeStandIns(folder);
                    theirs = standInTimes.calls + standInTimes.conversion;
                } });
        cold.add(ours, theirs);
        done(folder);
    }
    cold.print();

    // Element type names: the first lookup opens the project and reads the
    // table; the rest read the dictionary.
    Samples first;
    Samples repeated;
    QString typeName;
    ElementType* dictionary = ElementType::instance();
    for (int round = 0; round < rounds; ++round) {
        const QString folder = freshCopy(delivered, base, copies);
        Singleton<Global>::instance()->m_projectPath = folder;
        Project::instance()->close();
        *dictionary = ElementType();
        QElapsedTimer timer;
        timer.start();
        typeName = dictionary->getElementTypeNamebyId(1001);
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
        first, "ms", QStringLiteral("\"%1\"").arg(typeName));
    printFigure(
        QStringLiteral("repeated element type lookup, %1 records").arg(records), repeated, "ns");

    // Peak memory of a process that opened the project.
    const QString folder = freshCopy(delivered, base, copies);
    const qint64 idleKiB = childPeakKiB(QStringLiteral("--measure-idle"), folder);
    const qint64 openKiB = childPeakKiB(QStringLiteral("--measure-open"), folder);
    const double filesMiB = double(QFileInfo(folder + "/" + kModel).size()
                                + QFileInfo(folder + "/" + kDatabase).size())
        / (1024.0 * 1024.0);
    printPeakMemoryBound(QStringLiteral("peak RSS, OpenProject, %1 records").arg(records), "files",
        3, double(openKiB) / 1024.0, filesMiB, double(idleKiB) / 1024.0);
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
