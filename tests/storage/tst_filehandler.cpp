#include "FakeRoot.h"
#include "FileTree.h"

#include <bimcore/storage/FileHandler.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using FileTree::make;
using FileTree::makeAll;

namespace {

// Every entry below root, hidden ones and links included, relative to root.
QStringList everythingBelow(const QString& root)
{
    QStringList found;
    const QFileInfoList entries = QDir(root).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        found << entry.fileName();
        if (entry.isDir() && !entry.isSymLink()) {
            for (const QString& inner : everythingBelow(entry.filePath()))
                found << entry.fileName() + "/" + inner;
        }
    }
    found.sort();
    return found;
}

bool setMode(const QString& path, mode_t mode)
{
    return chmod(QFile::encodeName(path).constData(), mode) == 0;
}

// Empty files prefix0.txt, prefix1.txt, ... in a folder made if need be, for
// trees too big to make one entry at a time with makeAll.
bool makeFiles(const QString& folder, const char* prefix, int count)
{
    if (!QDir().mkpath(folder))
        return false;
    const QByteArray start = QFile::encodeName(folder) + '/' + prefix;
    for (int file = 0; file < count; ++file) {
        const int fd = open(start + QByteArray::number(file) + ".txt",
            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || close(fd) != 0)
            return false;
    }
    return true;
}

} // namespace

class TestFileHandler : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    const QString m_lists = m_tmp.filePath("lists"); // the fixture of lookups and listings

private slots:
    void initTestCase()
    {
        QVERIFY(makeAll(m_lists,
            { "B.txt", "a.txt", "c.TXT", ".hidden", "sub/inner.txt", "Beta/", "alpha/", ".git/" }));
        QVERIFY(QFile::link(m_lists + "/B.txt", m_lists + "/link.txt"));
    }

    void clear_data()
    {
        QTest::addColumn<QStringList>("entries"); // "a -> b": a link a holding b, "@" for canary
        QTest::addColumn<QString>("suffix"); // appended to the folder's path
        const QString chain = QStringLiteral("level/").repeated(100);
        QTest::newRow("empty folder") << QStringList {} << "";
        QTest::newRow("every level and odd names") << QStringList { "a/b/c/sibling.txt", "top.txt",
            ".hidden", ".hidden-dir/inside.txt", "a/b/c/d/e/deep.txt", "a/b/c/d/e/.deep-hidden",
            "a/empty/", "with space/file name.txt", "line\nbreak/x\ny", "项目/模型.db",
            "Case/upper.txt", "case/lower.txt" } << "";
        QTest::newRow("trailing separator") << QStringList { "x.txt", "sub/z.txt" } << "/";
        QTest::newRow("links inside and out") << QStringList { "inside/file.txt", "sub/",
            "to-canary -> @", "sub/deep-to-canary -> @", "to-canary-file -> @/precious.txt",
            "to-inside -> inside", "sub/to-sibling-file -> ../inside/file.txt" }
                                              << "";
        QTest::newRow("chain of 100 folders")
            << QStringList { chain + "bottom.txt", "level/level/side.txt" } << "";
    }

    // clearFiles empties the folder, clearDir then removes it; links go as links.
    void clear()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, suffix);
        const QString canary = m_tmp.filePath("canary");
        QVERIFY(makeAll(canary, { "precious.txt", "nested/precious.txt" }));
        const QString root = m_tmp.filePath(QTest::currentDataTag());
        QVERIFY(QDir().mkpath(root));
        for (const QString& entry : entries) {
            const QStringList link = entry.split(" -> ");
            QVERIFY2(link.size() == 1
                    ? make(root, entry)
                    : QFile::link(QString(link[1]).replace('@', canary), root + "/" + link[0]),
                qPrintable(entry));
        }
        QFile heldOpen(root + "/" + entries.value(0));
        QVERIFY(entries.isEmpty() || heldOpen.open(QIODevice::ReadOnly)); // no obstacle here

        QVERIFY(FileHandler::clearFiles(root + suffix));
        QVERIFY(QFileInfo(root).isDir());
        QCOMPARE(everythingBelow(root), QStringList {});
        QVERIFY(make(root, "again/x.txt"));
        QVERIFY(FileHandler::clearDir(root + suffix));
        QVERIFY(!QFileInfo::exists(root));
        QCOMPARE(everythingBelow(canary),
            (QStringList { "nested", "nested/precious.txt", "precious.txt" }));
    }

    void pathsThatNameNoFolder()
    {
        const QString work = m_tmp.filePath("cwd");
        QVERIFY(makeAll(work, { "keep.txt", "a-file", "rel/inner/file.txt" }));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work));

        // Nothing to do, and above all the current folder is not emptied.
        for (const QString& path : { QString(), work + "/missing", work + "/a-file" }) {
            QVERIFY(FileHandler::clearFiles(path));
            QVERIFY(FileHandler::clearDir(path));
        }
        QCOMPARE(everythingBelow(work).size(), 5);

        // A relative path is taken from the current folder.
        QVERIFY(FileHandler::clearFiles("rel"));
        QCOMPARE(everythingBelow(work), (QStringList { "a-file", "keep.txt", "rel" }));
        QVERIFY(FileHandler::clearDir("rel"));
        QCOMPARE(everythingBelow(work), (QStringList { "a-file", "keep.txt" }));
        QVERIFY(QDir::setCurrent(previous));
    }

    void whatCannotGoStays_data()
    {
        QTest::addColumn<QString>("target"); // given the mode after the tree is built
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("remains");

        const QStringList lockedFolder { "a", "a/locked", "a/locked/inner.txt" };
        QTest::newRow("read-only file two levels down")
            << "a/b/ro.txt" << 0444 << QStringList { "a", "a/b", "a/b/ro.txt" };
        QTest::newRow("read-only folder keeps its content")
            << "a/b/" << 0555 << QStringList { "a", "a/b", "a/b/c", "a/b/inner.txt", "a/b/w.txt" };
        QTest::newRow("folder without any permission") << "a/locked/" << 0 << lockedFolder;
        QTest::newRow("folder not searchable") << "a/locked/" << 0600 << lockedFolder;
        QTest::newRow("folder not readable") << "a/locked/" << 0300 << lockedFolder;
    }

    void whatCannotGoStays()
    {
        if (geteuid() == 0)
            QSKIP("root may delete and list anything");
        QFETCH(QString, target);
        QFETCH(int, mode);
        QFETCH(QStringList, remains);

        const QString root = m_tmp.filePath(QTest::currentDataTag());
        const QString locked = root + "/" + target;
        const bool folder = target.endsWith('/');
        QVERIFY(makeAll(root,
            { "a/x.txt", "a/b/w.txt", "a/b/c/deeper.txt", "d/e/f.txt", "top.txt", ".hidden",
                folder ? target + "inner.txt" : target }));
        QVERIFY(setMode(locked, static_cast<mode_t>(mode)));

        // Each call must end, whether what cannot go lies below the folder or is it.
        QVERIFY(FileHandler::clearFiles(root));
        QVERIFY(!FileHandler::clearDir(root));
        QVERIFY(FileHandler::clearFiles(locked));
        QCOMPARE(FileHandler::clearDir(locked), !folder);
        setMode(locked, folder ? 0755 : 0644);
        QCOMPARE(everythingBelow(root), remains);
    }

    // Broken links and FIFOs are system entries: no listing shows them, so they
    // and the folders holding them stay, and the clearer still ends.
    void systemEntriesStay()
    {
        const QString root = m_tmp.filePath("system-entries");
        QVERIFY(makeAll(root, { "plain.txt", "s/plain.txt" })
            && QFile::link(root + "/missing", root + "/s/broken"));
        QCOMPARE(mkfifo(QFile::encodeName(root + "/s/fifo").constData(), 0644), 0);

        QVERIFY(FileHandler::clearFiles(root));
        QVERIFY(!FileHandler::clearDir(root));
        QCOMPARE(everythingBelow(root), (QStringList { "s", "s/broken", "s/fifo" }));
    }

    // The walk holds a descriptor for each level it is in, and no more: a wide
    // tree goes under a low limit of open files, and a tree deeper than the walk
    // goes is given up, the rest removed.
    void wideAndDeepTrees()
    {
        const QString wide = m_tmp.filePath("wide");
        for (int folder = 0; folder < 1000; ++folder)
            QVERIFY(makeFiles(wide + "/d" + QString::number(folder), "f", 1));
        const QString deep = m_tmp.filePath("deep");
        const QString bottom = deep + QString("/d").repeated(300);
        QVERIFY(makeFiles(bottom, "f", 1) && make(deep, "top.txt"));

        // A few descriptors beyond those already open, whatever their number.
        const int firstFree = open("/dev/null", O_RDONLY | O_CLOEXEC);
        QVERIFY(firstFree >= 0 && close(firstFree) == 0);
        rlimit saved {};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        rlimit lowered = saved;
        lowered.rlim_cur = static_cast<rlim_t>(firstFree) + 16;
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &lowered), 0);
        const bool wideCleared = FileHandler::clearDir(wide);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);
        QVERIFY(wideCleared);
        QVERIFY(!QFileInfo::exists(wide));

        QVERIFY(!FileHandler::clearDir(deep));
        QVERIFY(!QFileInfo::exists(deep + "/top.txt"));
        QVERIFY(QFileInfo::exists(bottom + "/f0.txt"));
    }

    // A folder of the tree is swapped for a link to an outside folder, and back,
    // over and over while the tree is cleared: the clearer must either work
    // inside the real folder or remove the link. The swapping starts once the
    // tree was listed: in some rounds well before the clearer reaches the
    // folder, in others just as it does, so that it is swapped while emptied.
    void swappedFolderIsNeverFollowed()
    {
        // Until enough rounds had the swapping overlap the clearing (a busy
        // machine may need more of them), or the time allowed is up.
        constexpr int kRaced = 30;
        constexpr qint64 kAllowedMs = 30000;
        constexpr int kVictimFiles = 1500;
        QElapsedTimer elapsed;
        elapsed.start();
        int round = 0, raced = 0, lost = 0;
        for (; raced < kRaced && elapsed.elapsed() < kAllowedMs; ++round) {
            QTemporaryDir scratch(m_tmp.filePath("race-XXXXXX"));
            const QString tree = scratch.filePath("tree");
            const QString outside = scratch.filePath("outside");
            QVERIFY(makeFiles(tree + "/victim", "f", kVictimFiles) && makeFiles(tree, "w", 100));
            QVERIFY(make(tree, "after/x.txt") && make(outside, "canary.txt"));

            const QByteArray victim = QFile::encodeName(tree + "/victim");
            const QByteArray away = QFile::encodeName(scratch.filePath("away"));
            const QByteArray target = QFile::encodeName(outside);
            // Going by name from the last, a clearer removes w99 first and w0
            // right before it reaches the victim.
            const QByteArray start
                = QFile::encodeName(tree + (round / 2 % 2 ? "/w0.txt" : "/w99.txt"));
            std::atomic<bool> stop { false };
            std::atomic<bool> swapped { false };
            const auto hold = [&stop](int micros) {
                const auto until
                    = std::chrono::steady_clock::now() + std::chrono::microseconds(micros);
                while (!stop && std::chrono::steady_clock::now() < until) { }
            };
            // How long the link stays differs from round to round, so that on any
            // machine some rounds have it in place when a clearer resolving the
            // path again would meet it.
            const int linkHold = 100 << (round % 5);
            std::thread swapper([&] {
                while (!stop && access(start, F_OK) == 0) { }
                while (!stop) {
                    if (rename(victim, away) != 0)
                        continue;
                    if (symlink(target, victim) == 0) {
                        swapped = true;
                        hold(linkHold);
                        unlink(victim);
                    }
                    rename(away, victim);
                }
            });
            (round % 2 ? FileHandler::clearFiles : FileHandler::clearDir)(tree);
            raced += swapped ? 1 : 0;
            stop = true;
            swapper.join();
            lost += QFileInfo::exists(outside + "/canary.txt") ? 0 : 1;
        }
        std::printf("%d rounds, %d raced, %d canaries lost\n", round, raced, lost);
        QCOMPARE(lost, 0);
        QVERIFY2(raced >= kRaced / 3, "the swaps hardly overlapped the clearing");
    }

    void rootIsRefused_data()
    {
        QTest::addColumn<QString>("path"); // inside a child whose "/" is a tmpfs of its own
        QTest::newRow("root") << "/";
        QTest::newRow("doubled separator") << "//";
        QTest::newRow("parent of a top folder") << "/tmp/..";
        QTest::newRow("current folder at the root") << ".";
        QTest::newRow("link to the root") << "/tmp/to-root";
        QTest::newRow("link to the root, trailing separator") << "/tmp/to-root/";
    }

    void rootIsRefused()
    {
        if (geteuid() == 0)
            QSKIP("root could delete anything, should the sandbox give way");
        QFETCH(QString, path);
        QTemporaryDir mountPoint(m_tmp.filePath("root-XXXXXX"));
        // 1: clearDir said true, 2: clearFiles said false, 4: something deleted, 8: no set-up
        const int result = FakeRoot::run(mountPoint.path(), [&path] {
            if (!makeAll("/", { "canary.txt", "tmp/canary.txt", "tmp/inner/canary.txt" })
                || symlink("/", "/tmp/to-root") != 0)
                return 8;
            int failed = FileHandler::clearDir(path) ? 1 : 0;
            failed |= FileHandler::clearFiles(path) ? 0 : 2;
            for (const char* kept : { "/canary.txt", "/tmp/canary.txt", "/tmp/inner/canary.txt" })
                failed |= QFileInfo::exists(kept) ? 0 : 4;
            return failed;
        });
        if (result == FakeRoot::kUnavailable)
            QSKIP("no user and mount namespaces to give the clearer a root of its own");
        QCOMPARE(result, 0);
    }

    void fileExist_data()
    {
        QTest::addColumn<bool>("inFixture"); // false: the empty folder path
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exists");
        QTest::newRow("exact name") << true << "B.txt" << true;
        QTest::newRow("other letter case") << true << "b.txt" << false;
        QTest::newRow("link to a file") << true << "link.txt" << true;
        QTest::newRow("sub-folder") << true << "sub" << false;
        QTest::newRow("hidden file") << true << ".hidden" << false;
        QTest::newRow("path instead of a name") << true << "sub/inner.txt" << false;
        QTest::newRow("empty folder path") << false << "B.txt" << false;
    }

    void fileExist()
    {
        QFETCH(bool, inFixture);
        QFETCH(QString, name);
        QFETCH(bool, exists);
        QCOMPARE(FileHandler::fileExist(inFixture ? m_lists : QString(), name), exists);
    }

    // Absolute paths, sorted by name ignoring case, hidden entries left out;
    // nothing for a missing folder or the empty path.
    void listings()
    {
        const QString& dir = m_lists;
        const QStringList files { dir + "/a.txt", dir + "/B.txt", dir + "/c.TXT",
            dir + "/link.txt" };
        QCOMPARE(FileHandler::getFileList(dir), files);
        QCOMPARE(FileHandler::getFilePathList(dir), files);
        QCOMPARE(FileHandler::getFolderList(dir),
            (QStringList { dir + "/alpha", dir + "/Beta", dir + "/sub" }));
        for (const QString& none : { m_tmp.filePath("missing"), QString() })
            QVERIFY(FileHandler::getFileList(none).isEmpty()
                && FileHandler::getFilePathList(none).isEmpty()
                && FileHandler::getFolderList(none).isEmpty());
    }

    void dirCreate()
    {
        const QString nested = m_tmp.filePath("create/with parents/项目");
        FileHandler::dirCreate(nested);
        QVERIFY(QFileInfo(nested).isDir() && make(nested, "kept.txt"));
        FileHandler::dirCreate(nested);
        QCOMPARE(everythingBelow(nested), QStringList { "kept.txt" });

        // Gives up where no folder can be made, instead of trying for ever.
        const QString file = m_tmp.filePath("plain-file");
        QVERIFY(make(m_tmp.path(), "plain-file"));
        for (const QString& path : { file, file + "/below", QString() })
            FileHandler::dirCreate(path);
        QVERIFY(QFileInfo(file).isFile());
        if (geteuid() == 0)
            return;
        const QString locked = m_tmp.filePath("locked-parent");
        QVERIFY(QDir().mkpath(locked) && setMode(locked, 0500));
        FileHandler::dirCreate(locked + "/child");
        QVERIFY(!QFileInfo::exists(locked + "/child"));
        setMode(locked, 0700);
    }
};

QTEST_GUILESS_MAIN(TestFileHandler)
#include "tst_filehandler.moc"
