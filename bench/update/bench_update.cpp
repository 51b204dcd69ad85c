// Bringing a project up to date through the local central store when 1% of its
// records changed: the whole Project::updateProject (stores released, files
// fetched and flushed, changes computed, files replaced, project opened again)
// against the reference "cp of both files + one model load", at 100,000 and at
// 1,000,000 records. The central store is a stand-in, so this is a bound that
// keeps it reasonable, not a goal: at most 3×.
//
// The reference's cp is done in this process, as cp does it on Linux (the
// kernel copies the bytes with copy_file_range), so that no process start is
// counted against it; its model load is TesselModelPersistent::loadFromFile.
//
// Each update starts from a fresh local project: the old revision's files,
// copied and flushed, opened as a host has them open, while the store holds
// the new revision. Each round times both once, alternating which goes first;
// the figures are medians and min-max of the rounds.
//
//   bench_update [--records N] [--rounds R]
//   (without --records: 100,000 and 1,000,000 records, one after the other)
#include "BenchArguments.h"
#include "BenchClock.h"
#include "KernelCopy.h"
#include "ProjectGenerator.h"
#include "Rounds.h"

#include <bimcore/core/Global.h>
#include <bimcore/project/Project.h>

#include <bimcore/platform/platformsvc/TableChangeMap.h>

#include <bimcore/platform/tessel/Tessel.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

class BenchProject : public Project
{
public:
    BenchProject() { s_pSelf = this; }
};

const QString kModel = ProjectGenerator::modelFileName();
const QString kDatabase = ProjectGenerator::databaseFileName();
const QString kKey = QStringLiteral("project");

void loadModel(const QString& file)
{
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
    TesselModelPersistent(model).loadFromFile(file, false, true);
}

// The new revision: every hundredth record of the element tables has another
// length.
qint64 writeChangedRevision(const QString& from, const QString& to)
{
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
    TesselModelPersistent(model).loadFromFile(from + "/" + kModel, false, true);
    qint64 changed = 0;
    TesselTables tables = model.findDatabase("DB").tables();
    for (int t = 0; t < tables.count(); ++t) {
        TesselTable table = tables.items(t);
        const int length = table.tableSchema().fieldIndex("length");
        for (int row = 0; length >= 0 && row < table.recordCount(); row += 100, ++changed) {
            TesselRecord record = table[row];
            record.setDouble(length, record.asDouble(length) + 1.0);
        }
    }
    QDir().mkpath(to);
    TesselModelPersistent(model).saveToFile(to + "/" + kModel);
    QFile::copy(from + "/" + kDatabase, to + "/" + kDatabase);
    return changed;
}

size_t changeCount(const PlatformSvcComm::TableChangeMap& tables)
{
    size_t count = 0;
    for (const auto& table : tables)
        count += table.second.size();
    return count;
}

double timed(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return millis(timer);
}

// Returns false when a round went wrong.
bool run(const QString& base, qint64 records, int rounds)
{
    ProjectGenerator::Options options;
    options.records = records;
    const QString folder = base + QStringLiteral("/%1").arg(records);
    const QString oldRevision = folder + "/old";
    const QString store = folder + "/store";
    const QString local = folder + "/local/project";
    ProjectGenerator::writeProject(oldRevision, options);
    const qint64 changed = writeChangedRevision(oldRevision, store + "/" + kKey);
    std::printf("\n== %lld records: model file %.1f MB, database %.1f MB, %lld records changed "
                "between the revisions\n",
        static_cast<long long>(records), QFileInfo(store + "/" + kKey + "/" + kModel).size() / 1e6,
        QFileInfo(store + "/" + kKey + "/" + kDatabase).size() / 1e6,
        static_cast<long long>(changed));
    std::fflush(stdout);

    qputenv("BIMCORE_CENTRAL_STORE", QFile::encodeName(store));
    Global& global = *Singleton<Global>::instance();
    global.m_projectId = 1;
    global.m_projectKey = kKey;
    global.m_projectPath = local;
    QDir().mkpath(local);

    // The host has the old revision open when it asks for the new one.
    auto freshLocalProject = [&] {
        Project::instance()->close();
        copyFlushed(oldRevision + "/" + kModel, local + "/" + kModel);
        copyFlushed(oldRevision + "/" + kDatabase, local + "/" + kDatabase);
        Project::instance()->open(nullptr);
    };

    const QString scratch = folder + "/reference";
    bool failed = false;
    auto reference = [&] {
        const QString from = store + "/" + kKey + "/";
        QDir(scratch).removeRecursively();
        QDir().mkpath(scratch);
        const double ms = timed([&] {
            failed |= !kernelCopy(from + kModel, scratch + "/" + kModel)
                || !kernelCopy(from + kDatabase, scratch + "/" + kDatabase);
            loadModel(scratch + "/" + kModel);
        });
        // Gone before its pages are written back while something else is timed.
        QDir(scratch).removeRecursively();
        return ms;
    };
    auto update = [&] {
        freshLocalProject();
        const double ms = timed([&] { failed |= !Project::instance()->updateProject(nullptr); });
        failed |= changeCount(Project::instance()->getChangedDelta().tables) != size_t(changed);
        return ms;
    };
    const std::vector<std::function<double()>> contestants { reference, update };
    std::vector<std::vector<double>> ms(contestants.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < contestants.size(); ++i) {
            const size_t which = (i + size_t(round)) % contestants.size();
            ms[which].push_back(contestants[which]());
        }
        if (failed) {
            std::printf(
                "round %d FAILED: %s\n", round + 1, qPrintable(Project::instance()->GetErrorMsg()));
            return false;
        }
    }
    Project::instance()->close();

    Comparison bound(QStringLiteral("updateProject, %1 records, 1% changed").arg(records),
        QStringLiteral("cp of both files + one model load"), 3.0, Limit::Bound);
    for (int round = 0; round < rounds; ++round)
        bound.add(ms[1][size_t(round)], ms[0][size_t(round)]);
    bound.print();
    QDir(folder).removeRecursively();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const BenchSize size = readBenchSize(app.arguments().mid(1), { 0, 0, 9 });
    std::printf("updateProject against cp of both files + one model load; the reference's cp "
                "runs in this process with copy_file_range, as cp does, so no process start is "
                "counted; %d rounds, each on a fresh local project\n",
        size.rounds);

    QTemporaryDir dir;
    new BenchProject();
    bool ok = true;
    for (const qint64 records : recordCounts(size))
        ok = ok && run(dir.path(), records, size.rounds);
    Project::destory();
    return ok ? 0 : 1;
}
