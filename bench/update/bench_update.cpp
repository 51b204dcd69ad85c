// Bringing a project up to date through the local central store when 1% of its
// records changed: the whole Project::updateProject (stores released, files
// fetched and flushed, changes computed, folder swapped, project opened again)
// against the reference "cp of the two files plus one model load".
// Goal: at most 1.5x.
//
// Ours is timed twice: with the record tables read straight from the files,
// and with every table compared through SQLite queries alone
// (BIMCORE_COMPARE_PLAIN); the comparison alone is timed both ways too. The
// reference copies in this process with copy_file_range, as cp does, so that
// starting a program is not counted against it. Each round times everything
// once, in rotating order; the figures are medians and min-max of the rounds.
//
//   bench_update [--records N] [--rounds R]
#include "BenchArguments.h"
#include "BenchClock.h"
#include "ProjectGenerator.h"
#include "Rounds.h"

#include <core/Global.h>
#include <project/Project.h>

#include <platformsvc/LocalCentralStore.h>

#include <tessel/Tessel.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

class BenchProject : public Project
{
public:
    BenchProject() { s_pSelf = this; }
};

const QString kModel = ProjectGenerator::modelFileName();
const QString kDatabase = ProjectGenerator::databaseFileName();

// What cp does with a regular file on Linux: the kernel copies the bytes.
bool copyFile(const QString& from, const QString& to)
{
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    ssize_t n = 0;
    while ((n = ::copy_file_range(in.handle(), nullptr, out.handle(), nullptr, 1 << 30, 0)) > 0) { }
    return n == 0;
}

void loadModel(const QString& file)
{
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
    TesselModelPersistent(model).loadFromFile(file, false, true);
}

// Revision 1: every hundredth record of the element tables has another length.
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const BenchSize size = readBenchSize(app.arguments().mid(1), { 1000000, 0, 7 });

    QTemporaryDir dir;
    const QString store = dir.filePath("store");
    const QString local = dir.filePath("local/project");
    std::printf("generating a project of %lld records...\n", size.records);
    ProjectGenerator::Options options;
    options.records = size.records;
    ProjectGenerator::writeProject(store + "/rev0", options);
    const qint64 changed = writeChangedRevision(store + "/rev0", store + "/rev1");
    ProjectGenerator::writeProject(local, options);
    std::printf("model file %.1f MB, database %.1f MB, %lld records changed between revisions\n",
        QFileInfo(store + "/rev1/" + kModel).size() / 1e6,
        QFileInfo(store + "/rev1/" + kDatabase).size() / 1e6, changed);

    qputenv("BIMCORE_CENTRAL_STORE", QFile::encodeName(store));
    Global& global = *Singleton<Global>::instance();
    global.m_projectId = 1;
    global.m_projectPath = local;
    new BenchProject();
    Project::instance()->open(nullptr);

    const QString scratch = dir.filePath("reference");
    // Each update brings the revision the local copy does not have, so 1% of
    // the records change.
    QString localRevision = "rev0";
    auto otherRevision = [](const QString& key) { return key == "rev0" ? "rev1" : "rev0"; };
    bool failed = false;
    auto reference = [&] {
        const QString from = store + "/" + localRevision + "/";
        QDir(scratch).removeRecursively();
        QDir().mkpath(scratch);
        return timed([&] {
            failed |= !copyFile(from + kModel, scratch + "/" + kModel)
                || !copyFile(from + kDatabase, scratch + "/" + kDatabase);
            loadModel(scratch + "/" + kModel);
        });
    };
    auto update = [&] {
        global.m_projectKey = localRevision = otherRevision(localRevision);
        const double ms = timed([&] { failed |= !Project::instance()->updateProject(nullptr); });
        failed |= changeCount(Project::instance()->getChangedDelta().tables) != size_t(changed);
        return ms;
    };
    auto comparison = [&] {
        const QString oldModel = store + "/" + localRevision + "/" + kModel;
        const QString newModel = store + "/" + otherRevision(localRevision) + "/" + kModel;
        return timed([&] {
            failed |= changeCount(PlatformSvcComm::compareModelFiles(oldModel, newModel))
                != size_t(changed);
        });
    };
    // The same with every table compared through SQLite queries alone.
    auto plain = [](std::function<double()> run) {
        return [run] {
            qputenv("BIMCORE_COMPARE_PLAIN", "1");
            const double ms = run();
            qunsetenv("BIMCORE_COMPARE_PLAIN");
            return ms;
        };
    };
    const std::vector<std::function<double()>> contestants { reference, update, plain(update),
        comparison, plain(comparison) };
    std::vector<std::vector<double>> ms(contestants.size());
    for (int round = 0; round < size.rounds; ++round) {
        for (size_t i = 0; i < contestants.size(); ++i) {
            const size_t which = (i + size_t(round)) % contestants.size();
            ms[which].push_back(contestants[which]());
        }
        if (failed) {
            std::printf(
                "round %d FAILED: %s\n", round + 1, qPrintable(Project::instance()->GetErrorMsg()));
            return 1;
        }
    }
    const QString records = QStringLiteral("%1 records, 1% changed").arg(size.records);
    for (const size_t ours : { 1, 2 }) {
        Comparison figure(
            QStringLiteral("updateProject%1, %2").arg(ours == 2 ? ", plain queries" : "", records),
            QStringLiteral("cp of both files + one model load"), 1.5);
        for (int round = 0; round < size.rounds; ++round)
            figure.add(ms[ours][size_t(round)], ms[0][size_t(round)]);
        figure.print();
    }
    for (const size_t alone : { 3, 4 }) {
        Samples figure;
        for (const double value : ms[alone])
            figure.add(value);
        printFigure(QStringLiteral("comparison alone%1, %2")
                        .arg(alone == 4 ? ", plain queries" : "", records),
            figure, "ms");
    }
    Project::destory();
    return 0;
}
