// Opening a freshly delivered project (identifier fields marked "Int64", not
// yet converted) with DatabaseManager::OpenProject, against a plain sqlite3
// loop that reads every value of the same model file's record tables; where
// the opening spends its time; and element type name lookups.
//
//   bench_project_open [--records N] [--tables T] [--rounds R]
#include "BenchArguments.h"
#include "BenchClock.h"
#include "PlainModelRead.h"
#include "ProjectGenerator.h"

#include <core/Global.h>
#include <project/Project.h>
#include <storage/DatabaseManager.h>
#include <storage/ElementType.h>

#include <ksqlite/KSqlDatabase.h>
#include <tessel/Tessel.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// The steps of an opening, one by one, through the libraries' own calls: the
// load, the conversion of the marked fields, and the database.
struct Breakdown
{
    double load = 0;
    double convert = 0;
    double database = 0;
    int convertedFields = 0;
};

Breakdown openStepByStep(const QString& folder)
{
    Breakdown steps;
    QElapsedTimer timer;
    timer.start();
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine(nullptr));
    TesselModelPersistent(model).loadFromFile(
        folder + "/" + ProjectGenerator::modelFileName(), false, true);
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
    database.Open((folder + "/" + ProjectGenerator::databaseFileName()).toStdString(), true);
    steps.database = millis(timer);
    return steps;
}

// The host's project, registered so that the dictionary can read the model.
class BenchProject : public Project
{
public:
    BenchProject() { s_pSelf = this; }
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    const BenchSize size = readBenchSize(arguments, { 1000000, 20, 5 });
    const ProjectGenerator::Options options { size.records, size.tables, false };
    const int rounds = size.rounds;

    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("project"));
    const QString modelPath = folder + "/" + ProjectGenerator::modelFileName();
    {
        QElapsedTimer timer;
        timer.start();
        ProjectGenerator::writeProject(folder, options);
        std::printf("generated %lld unconverted records over %d tables in %.0f ms (%.1f MiB)\n",
            static_cast<long long>(options.records), options.tables, millis(timer),
            double(QFileInfo(modelPath).size()) / (1024.0 * 1024.0));
    }

    // Warm the page cache, then alternate the two and keep the best of each.
    plainModelRead(modelPath);
    double bestPlain = 1e300;
    double bestOpen = 1e300;
    Breakdown bestSteps;
    bestSteps.load = bestSteps.convert = bestSteps.database = 1e300;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        plainModelRead(modelPath);
        bestPlain = std::min(bestPlain, millis(timer));

        timer.restart();
        {
            const std::shared_ptr<DatabaseManager> manager = DatabaseManager::OpenProject(folder);
            if (!manager)
                qFatal("no project at %s", qPrintable(folder));
            bestOpen = std::min(bestOpen, millis(timer));
        }

        const Breakdown steps = openStepByStep(folder);
        bestSteps.load = std::min(bestSteps.load, steps.load);
        bestSteps.convert = std::min(bestSteps.convert, steps.convert);
        bestSteps.database = std::min(bestSteps.database, steps.database);
        bestSteps.convertedFields = steps.convertedFields;
    }

    std::printf("plain sqlite3 loop:       %8.1f ms (best of %d)\n", bestPlain, rounds);
    std::printf("OpenProject:              %8.1f ms (best of %d)\n", bestOpen, rounds);
    std::printf("OpenProject / plain:      %8.2fx (goal <= 1.7x)\n", bestOpen / bestPlain);
    std::printf("  of which model load:    %8.1f ms\n", bestSteps.load);
    std::printf(
        "  conversion of %3d fields:%7.1f ms\n", bestSteps.convertedFields, bestSteps.convert);
    std::printf("  SQLite open:            %8.3f ms\n", bestSteps.database);

    // Element type names: the first lookup loads the dictionary, the rest
    // read it.
    Singleton<Global>::instance()->m_projectPath = folder;
    new BenchProject();
    ElementType* dictionary = ElementType::instance();
    QElapsedTimer timer;
    timer.start();
    const QString first = dictionary->getElementTypeNamebyId(1001);
    const double firstLookup = millis(timer);
    const int lookups = 100000;
    qint64 characters = 0;
    timer.restart();
    for (int i = 0; i < lookups; ++i)
        characters += dictionary->getElementTypeNamebyId(1000 + i % 64).size();
    const double perLookupNs = double(timer.nsecsElapsed()) / lookups;
    std::printf("first element type lookup (opens and loads): %.1f ms (\"%s\")\n", firstLookup,
        qUtf8Printable(first));
    std::printf("%d further lookups:   %.1f ns each (%lld characters)\n", lookups, perLookupNs,
        static_cast<long long>(characters));
    Project::destory();
    return 0;
}
