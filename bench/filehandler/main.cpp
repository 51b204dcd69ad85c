// Times emptying and removing a folder tree of 100,000 small files on tmpfs
// (100 files a folder) against "rm -rf" on an identical tree, in alternated
// rounds compared by their medians:
//   - FileHandler::clearDir (empties and removes the folder, as the host's
//     "remove" does),
//   - FileHandler::clearFiles (empties it and keeps it, as "clear" does),
//   - deleteTree (Project::clear's removal of the project cache).
// Then a chain of 1,000 folders, one file in each, which the walk climbs back
// up through "..", removed by each of the three against "rm -rf".
// rm's own start (a run given a name that does not exist) is taken off its
// times; every round builds fresh trees.
//
//   bench_filehandler [rounds] [base folder]     defaults: 5, /dev/shm

#include "Rounds.h"

#include <bimcore/storage/FileHandler.h>

#include <bimcore/platform/krvcommon/FileSystem.h>

#include <bimcore/storage/fs/UniqueFd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kFilesPerFolder = 100;

bool buildTree(const std::string& root, int folders)
{
    if (mkdir(root.c_str(), 0755) != 0)
        return false;
    char path[4096];
    for (int folder = 0; folder < folders; ++folder) {
        std::snprintf(path, sizeof path, "%s/d%04d", root.c_str(), folder);
        if (mkdir(path, 0755) != 0)
            return false;
        for (int file = 0; file < kFilesPerFolder; ++file) {
            std::snprintf(path, sizeof path, "%s/d%04d/f%03d.txt", root.c_str(), folder, file);
            const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0)
                return false;
            const bool written = write(fd, "content\n", 8) == 8;
            close(fd);
            if (!written)
                return false;
        }
    }
    return true;
}

// A chain of folders "level", one file in each, made from descriptors: its
// paths grow longer than the system takes.
bool buildChain(const std::string& root, int levels)
{
    if (mkdir(root.c_str(), 0755) != 0)
        return false;
    UniqueFd folder(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int level = 0; folder && level < levels; ++level) {
        const UniqueFd file(openat(folder.get(), "f.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        if (!file || mkdirat(folder.get(), "level", 0755) != 0)
            return false;
        folder = UniqueFd(openat(folder.get(), "level", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    return folder.valid();
}

struct Remover
{
    const char* name;
    double goal; // on the tree of files; 0 for none
    // Runs on the tree's root; true when it did what it should.
    std::function<bool(const QString&)> run;
};

bool isEmptyFolder(const QString& path)
{
    return QDir(path).exists()
        && QDir(path)
               .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
               .isEmpty();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QString base = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/dev/shm");

    QTemporaryDir scratch(base + QStringLiteral("/bench-filehandler-XXXXXX"));
    if (!scratch.isValid()) {
        std::fprintf(stderr, "cannot make a folder under %s\n", qPrintable(base));
        return 1;
    }
    const ChildTimer rm(
        { QStringLiteral("rm"), QStringLiteral("-rf"), scratch.filePath(QStringLiteral("none")) });
    std::printf("rm's start, taken off its times: %.2f ms\n", rm.startCost());

    const Remover removers[] = {
        { "clearDir", 1.5,
            [](const QString& path) {
                return FileHandler::clearDir(path) && !QDir(path).exists();
            } },
        { "clearFiles", 0,
            [](const QString& path) {
                return FileHandler::clearFiles(path) && isEmptyFolder(path);
            } },
        { "deleteTree", 0,
            [](const QString& path) { return deleteTree(path) && !QDir(path).exists(); } },
    };
    const std::string theirs = scratch.filePath(QStringLiteral("theirs")).toStdString();
    const QString ours = scratch.filePath(QStringLiteral("ours"));
    // folders 0: the chain of 1,000 levels.
    for (const int folders : { 1000, 0 }) {
        for (const Remover& remover : removers) {
            const QString what = folders ? QStringLiteral("%1 files").arg(folders * kFilesPerFolder)
                                         : QStringLiteral("1000 levels");
            Comparison comparison(QStringLiteral("%1, %2").arg(QLatin1String(remover.name), what),
                QStringLiteral("rm -rf, start taken off"), folders == 1000 ? remover.goal : 0);
            for (int round = 0; round < rounds; ++round) {
                QDir(ours).removeRecursively();
                const bool built = folders
                    ? buildTree(ours.toStdString(), folders) && buildTree(theirs, folders)
                    : buildChain(ours.toStdString(), 1000) && buildChain(theirs, 1000);
                if (!built) {
                    std::fprintf(stderr, "cannot build the trees under %s\n", qPrintable(base));
                    return 1;
                }
                // Alternated: in every other round rm goes first.
                double oursMs = 0;
                double rmMs = 0;
                bool done = false;
                const auto runOurs = [&] {
                    QElapsedTimer timer;
                    timer.start();
                    done = remover.run(ours);
                    oursMs = double(timer.nsecsElapsed()) / 1e6;
                };
                const auto runRm = [&] {
                    rmMs = rm.run({ QStringLiteral("rm"), QStringLiteral("-rf"),
                        QString::fromStdString(theirs) });
                };
                if (round % 2) {
                    runRm();
                    runOurs();
                } else {
                    runOurs();
                    runRm();
                }
                struct stat left;
                if (!done || rmMs < 0 || stat(theirs.c_str(), &left) == 0) {
                    std::fprintf(stderr, "%s or rm -rf failed\n", remover.name);
                    return 1;
                }
                comparison.add(oursMs, rmMs);
            }
            comparison.print();
        }
    }
    return 0;
}
