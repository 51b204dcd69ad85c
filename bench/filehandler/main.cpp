// Times FileHandler::clearDir against "rm -rf" on two identical trees of small
// files on tmpfs, at 10,000 and 100,000 files (100 files a folder).
//
//   bench_filehandler [rounds] [base folder]     defaults: 3, /dev/shm
//
// Prints one line per size with the median times and their ratios.

#include "BenchClock.h"

#include <storage/FileHandler.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

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

struct Figures
{
    double clearDir;
    double rmRf;
};

bool measure(const QString& base, int folders, Figures& figures)
{
    QTemporaryDir scratch(base + QStringLiteral("/bench-filehandler-XXXXXX"));
    if (!scratch.isValid())
        return false;
    const std::string ours = scratch.filePath(QStringLiteral("ours")).toStdString();
    const std::string theirs = scratch.filePath(QStringLiteral("theirs")).toStdString();
    if (!buildTree(ours, folders) || !buildTree(theirs, folders))
        return false;

    QElapsedTimer timer;
    timer.start();
    const bool cleared = FileHandler::clearDir(QString::fromStdString(ours));
    figures.clearDir = timer.nsecsElapsed() / 1e6;

    timer.restart();
    const int status = QProcess::execute(
        QStringLiteral("rm"), { QStringLiteral("-rf"), QString::fromStdString(theirs) });
    figures.rmRf = timer.nsecsElapsed() / 1e6;

    struct stat left;
    return cleared && status == 0 && stat(ours.c_str(), &left) != 0
        && stat(theirs.c_str(), &left) != 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const QString base = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/dev/shm");

    double clear10k = 0;
    for (const int folders : { 100, 1000 }) {
        std::vector<double> ours, theirs;
        for (int round = 0; round < rounds; ++round) {
            Figures figures {};
            if (!measure(base, folders, figures)) {
                std::fprintf(
                    stderr, "could not build or clear the trees under %s\n", qPrintable(base));
                return 1;
            }
            ours.push_back(figures.clearDir);
            theirs.push_back(figures.rmRf);
        }
        const double clearMs = median(ours);
        const double rmMs = median(theirs);
        std::printf("%7d files: clearDir %8.1f ms   rm -rf %8.1f ms   ratio %.2f",
            folders * kFilesPerFolder, clearMs, rmMs, clearMs / rmMs);
        if (folders == 100)
            clear10k = clearMs;
        else
            std::printf("   100k/10k %.2f", clearMs / clear10k);
        std::printf("\n");
    }
    return 0;
}
