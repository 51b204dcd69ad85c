// Bringing a project of 1,000,000 records up to date through the local central
// store when 1% of its records changed: the whole Project::updateProject
// (stores released, files fetched and flushed, changes computed, folder
// swapped, project opened again with its identifier processing) against the
// reference "cp of the two files plus one model load". Goal: at most 2.5x.
//
//   bench_update [--records N] [--rounds R]
#include "BenchArguments.h"
#include "BenchClock.h"
#include "ProjectGenerator.h"

#include <core/Global.h>
#include <project/Project.h>

#include <platformsvc/ModelComparison.h>

#include <tessel/Tessel.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

class BenchProject : public Project
{
public:
    BenchProject() { s_pSelf = this; }
};

// Revision 1: every hundredth record of the element tables has another length.
qint64 writeChangedRevision(const QString& from, const QString& to)
{
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
    TesselModelPersistent(model).loadFromFile(
        from + "/" + ProjectGenerator::modelFileName(), false, true);
    qint64 changed = 0;
    TesselTables tables = model.findDatabase("DB").tables();
    for (int t = 0; t < tables.count(); ++t) {
        TesselTable table = tables.items(t);
        const int length = table.tableSchema().fieldIndex("length");
        if (length < 0)
            continue;
        for (int row = 0; row < table.recordCount(); row += 100, ++changed) {
            TesselRecord record = table[row];
            record.setDouble(length, record.asDouble(length) + 1.0);
        }
    }
    QDir().mkpath(to);
    TesselModelPersistent(model).saveToFile(to + "/" + ProjectGenerator::modelFileName());
    QFile::copy(from + "/" + ProjectGenerator::databaseFileName(),
        to + "/" + ProjectGenerator::databaseFileName());
    return changed;
}

double referenceMs(const QString& storeFolder, const QString& scratch)
{
    QDir(scratch).removeRecursively();
    QDir().mkpath(scratch);
    QElapsedTimer timer;
    timer.start();
    QProcess::execute("cp",
        { storeFolder + "/" + ProjectGenerator::modelFileName(),
            storeFolder + "/" + ProjectGenerator::databaseFileName(), scratch });
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
    TesselModelPersistent(model).loadFromFile(
        scratch + "/" + ProjectGenerator::modelFileName(), false, true);
    return millis(timer);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const BenchSize size = readBenchSize(app.arguments().mid(1), { 1000000, 0, 3 });
    const qint64 records = size.records;
    const int rounds = size.rounds;

    QTemporaryDir dir;
    const QString store = dir.filePath("store");
    const QString local = dir.filePath("local/project");
    std::printf("generating a project of %lld records...\n", records);
    ProjectGenerator::Options options;
    options.records = records;
    ProjectGenerator::writeProject(store + "/rev0", options);
    const qint64 changed = writeChangedRevision(store + "/rev0", store + "/rev1");
    ProjectGenerator::writeProject(local, options);
    std::printf("model file %.1f MB, database %.1f MB, %lld records changed between revisions\n",
        QFileInfo(store + "/rev1/" + ProjectGenerator::modelFileName()).size() / 1e6,
        QFileInfo(store + "/rev1/" + ProjectGenerator::databaseFileName()).size() / 1e6, changed);

    {
        QElapsedTimer timer;
        timer.start();
        const auto changes = PlatformSvcComm::compareModelFiles(
            store + "/rev0/" + ProjectGenerator::modelFileName(),
            store + "/rev1/" + ProjectGenerator::modelFileName());
        size_t count = 0;
        for (const auto& table : changes)
            count += table.second.size();
        std::printf("comparison alone: %.0f ms, %zu records reported changed, %ld tables read "
                    "through SQLite\n",
            millis(timer), count, PlatformSvcComm::directScanFallbacks());
    }

    {
        // What flushing the copies costs: the update flushes both files before
        // it puts them in place.
        const QString scratch = dir.filePath("flush");
        QDir().mkpath(scratch);
        QElapsedTimer timer;
        timer.start();
        QProcess::execute("cp",
            { store + "/rev1/" + ProjectGenerator::modelFileName(),
                store + "/rev1/" + ProjectGenerator::databaseFileName(), scratch });
        const double copyMs = millis(timer);
        timer.restart();
        QProcess::execute("sync",
            { scratch + "/" + ProjectGenerator::modelFileName(),
                scratch + "/" + ProjectGenerator::databaseFileName() });
        std::printf("cp of both files: %.0f ms; fsync of both copies afterwards: %.0f ms\n", copyMs,
            millis(timer));
        QDir(scratch).removeRecursively();
    }

    qputenv("BIMCORE_CENTRAL_STORE", QFile::encodeName(store));
    Global& global = *Singleton<Global>::instance();
    global.m_projectId = 1;
    global.m_projectPath = local;
    new BenchProject();
    Project::instance()->open(nullptr);

    std::vector<double> reference;
    std::vector<double> update;
    for (int round = 0; round < rounds; ++round) {
        // Each update brings the other revision, so 1% of the records change.
        const QString key = round % 2 ? "rev0" : "rev1";
        reference.push_back(referenceMs(store + "/" + key, dir.filePath("reference")));
        global.m_projectKey = key;
        QElapsedTimer timer;
        timer.start();
        const bool ok = Project::instance()->updateProject(nullptr);
        update.push_back(millis(timer));
        size_t count = 0;
        for (const auto& table : Project::instance()->getChangedDelta().tables)
            count += table.second.size();
        std::printf(
            "round %d: reference %.0f ms, updateProject %.0f ms (%s, %zu records changed)\n",
            round + 1, reference.back(), update.back(), ok ? "ok" : "FAILED", count);
        if (!ok)
            return 1;
    }
    const double ratio = median(update) / median(reference);
    std::printf(
        "median: reference (cp + load) %.0f ms, updateProject %.0f ms, ratio %.2f (goal <= 2.5)\n",
        median(reference), median(update), ratio);
    Project::destory();
    return 0;
}
