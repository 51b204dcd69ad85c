#pragma once

// A folder of a tree is swapped for a link to an outside folder, and back,
// over and over while a remover clears the tree: the remover must either work
// inside the real folder or remove the link. The swapping starts once the
// tree was listed: in some rounds well before the remover reaches the
// folder, in others just as it does, so that it is swapped while emptied.

#include "FileTree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace SwapRace {

// The few calls the swapping makes, straight to the system: it must keep up
// with the remover.
#ifdef Q_OS_WIN
using NativePath = std::wstring;
// The long form, which takes paths beyond MAX_PATH.
inline NativePath native(const QString& path)
{
    return L"\\\\?\\"
        + QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()))
              .toStdWString();
}
inline bool exists(const NativePath& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
inline bool moveTo(const NativePath& from, const NativePath& to)
{
    return MoveFileW(from.c_str(), to.c_str());
}
inline bool linkFolder(const NativePath& target, const NativePath& at)
{
    return CreateSymbolicLinkW(at.c_str(), target.c_str(),
        SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
}
inline void unlinkFolder(const NativePath& at)
{
    RemoveDirectoryW(at.c_str());
}
#else
using NativePath = QByteArray;
inline NativePath native(const QString& path)
{
    return QFile::encodeName(path);
}
inline bool exists(const NativePath& path)
{
    return access(path, F_OK) == 0;
}
inline bool moveTo(const NativePath& from, const NativePath& to)
{
    return rename(from, to) == 0;
}
inline bool linkFolder(const NativePath& target, const NativePath& at)
{
    return symlink(target, at) == 0;
}
inline void unlinkFolder(const NativePath& at)
{
    unlink(at);
}
#endif

// Empty files prefix0.txt, prefix1.txt, ... in a folder made if need be.
inline bool makeFiles(const QString& folder, const char* prefix, int count)
{
    if (!QDir().mkpath(folder))
        return false;
    for (int file = 0; file < count; ++file) {
        QFile made(folder + '/' + prefix + QString::number(file) + ".txt");
        if (!made.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return false;
    }
    return true;
}

struct Result
{
    int rounds = 0;
    int raced = 0; // rounds in which the swapping overlapped the removal
    int lost = 0; // rounds in which the outside folder lost its file
};

// Rounds that must race, and the time they may take: a few in every test
// run, many with BIMCORE_LONG_RACE set (a sanitized build on a busy machine
// needs the minute).
inline int racedWanted()
{
    return qEnvironmentVariableIsSet("BIMCORE_LONG_RACE") ? 30 : 4;
}

// Runs rounds in folders made below `base` until enough of them raced (a busy
// machine may need more of them) or the time allowed is up. `remove` gets the
// tree. A tree that cannot be made ends the test program.
inline Result run(const QString& base, const std::function<void(const QString&)>& remove)
{
    const int raced = racedWanted();
    const qint64 allowed = raced > 4 ? 60000 : 15000;
    QElapsedTimer elapsed;
    elapsed.start();
    Result result;
    for (; result.raced < raced && elapsed.elapsed() < allowed; ++result.rounds) {
        QTemporaryDir scratch(base + "/race-XXXXXX");
        const QString tree = scratch.filePath("tree");
        const QString outside = scratch.filePath("outside");
        if (!makeFiles(tree + "/victim", "f", 1500) || !makeFiles(tree, "w", 100)
            || !FileTree::make(tree, "after/x.txt") || !FileTree::make(outside, "canary.txt"))
            qFatal("cannot make the tree in %s", qPrintable(scratch.path()));
        const NativePath victim = native(tree + "/victim");
        const NativePath away = native(scratch.filePath("away"));
        const NativePath target = native(outside);
        // Going by name from the last, a clearer removes w99 first and w0
        // right before it reaches the victim; a remover going in listing
        // order may reach the victim first, and in every third round the
        // swapping starts at once.
        const char* const starts[] = { "/w99.txt", "/w0.txt", "/none" };
        const NativePath start = native(tree + starts[result.rounds % 3]);
        std::atomic<bool> stop { false };
        std::atomic<bool> swapped { false };
        const auto hold = [&stop](int micros) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(micros);
            while (!stop && std::chrono::steady_clock::now() < until)
                std::this_thread::yield();
        };
        // How long the link stays differs from round to round, so that on any
        // machine some rounds have it in place when a remover resolving the
        // path again would meet it.
        const int linkHold = 100 << (result.rounds % 5);
        std::thread swapper([&] {
            // Yielding, so that on two cores the remover is not starved.
            while (!stop && exists(start))
                std::this_thread::yield();
            while (!stop) {
                if (!moveTo(victim, away))
                    continue;
                if (linkFolder(target, victim)) {
                    swapped = true;
                    hold(linkHold);
                    unlinkFolder(victim);
                }
                moveTo(away, victim);
                std::this_thread::yield();
            }
        });
        remove(tree);
        result.raced += swapped ? 1 : 0;
        stop = true;
        swapper.join();
        result.lost += QFileInfo::exists(outside + "/canary.txt") ? 0 : 1;
    }
    return result;
}

} // namespace SwapRace
