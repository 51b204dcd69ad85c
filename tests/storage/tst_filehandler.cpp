#include "FakeRoot.h"
#include "FileTree.h"
#include "SwapRace.h"

#include <bimcore/storage/FileHandler.h>

#include <bimcore/platform/krvcommon/FileSystem.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using FileTree::make;
using FileTree::makeAll;
using SwapRace::makeFiles;

namespace {

// Every entry below root, hidden ones and links included, relative to root.
QStringList everythingBelow(const QString& root)
{
    QStringList found;
    QDirIterator entries(root,
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (entries.hasNext())
        found << entries.next().mid(root.size() + 1);
    found.sort();
    return found;
}

// The three removers that share one walk: FileHandler's two and the
// stand-ins' deleteTree, which Project::clear uses.
enum Remover { ClearFiles, ClearDir, DeleteTree };

bool removeBy(int remover, const QString& path)
{
    return remover == ClearFiles ? FileHandler::clearFiles(path)
        : remover == ClearDir    ? FileHandler::clearDir(path)
                                 : deleteTree(path);
}

void addRemoverRows()
{
    QTest::addColumn<int>("remover");
    QTest::newRow("clearFiles") << int(ClearFiles);
    QTest::newRow("clearDir") << int(ClearDir);
    QTest::newRow("deleteTree") << int(DeleteTree);
}

bool setMode(const QString& path, mode_t mode)
{
    return chmod(QFile::encodeName(path).constData(), mode) == 0;
}

} // namespace

class TestFileHandler : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;

private slots:

    void clear_data()
    {
        QTest::addColumn<QStringList>("entries"); // "a -> b": a link a holding b, "@" for canary
        QTest::addColumn<QString>("suffix"); // appended to the folder's path
        QTest::newRow("every level and odd names, trailing separator") << QStringList {
            "a/b/c/sibling.txt", "top.txt", ".hidden", ".hidden-dir/inside.txt",
            "a/b/c/d/e/deep.txt", "a/b/c/d/e/.deep-hidden", "a/empty/", "with space/file name.txt",
            "line\nbreak/x\ny", "项目/模型.db", "Case/upper.txt", "case/lower.txt"
        } << "/";
        QTest::newRow("links inside and out") << QStringList { "inside/file.txt", "sub/",
            "to-canary -> @", "sub/deep-to-canary -> @", "to-canary-file -> @/precious.txt",
            "to-inside -> inside", "sub/to-sibling-file -> ../inside/file.txt" }
                                              << "";
    }

    // clearFiles empties the folder, clearDir then removes it; links go as links.
    void clear()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, suffix);
        const QString canary = m_tmp.filePath("canary");
        QVERIFY(makeAll(canary, { "precious.txt", "nested/precious.txt" }));
        const QString root = m_tmp.filePath(QTest::currentDataTag());
        for (const QString& entry : entries) {
            const QStringList link = entry.split(" -> ");
            QVERIFY2(link.size() == 1
                    ? make(root, entry)
                    : QFile::link(QString(link[1]).replace('@', canary), root + "/" + link[0]),
                qPrintable(entry));
        }
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
        QVERIFY(QDir::setCurrent(work));

        // Nothing to do, and above all the current folder is not emptied.
        for (const QString& path : { QString(), work + "/missing", work + "/a-file" }) {
            QVERIFY(FileHandler::clearFiles(path));
            QVERIFY(FileHandler::clearDir(path));
        }
        // A relative path is taken from the current folder.
        QVERIFY(FileHandler::clearDir("rel"));
        QCOMPARE(everythingBelow(work), (QStringList { "a-file", "keep.txt" }));
    }

    void pathAsTheSystemResolvesIt_data()
    {
        QTest::addColumn<QString>("path"); // in a fresh tree of each row, L a link to real/sub
        QTest::addColumn<bool>("removed"); // clearDir's result
        QTest::addColumn<QString>("gone");
        QTest::addColumn<QString>("kept");
        QTest::newRow("'..' after a link") << "L/../x" << true << "real/x" << "x/keep.txt";
        QTest::newRow("ending in '.'") << "real/x/." << false << "real/x/inner" << "real/x";
        QTest::newRow("parent not searchable") << "locked/inner" << true << "real/x" << "locked/inner/keep.txt";
    }

    void pathAsTheSystemResolvesIt()
    {
        QFETCH(QString, path);
        QFETCH(bool, removed);
        QFETCH(QString, gone);
        QFETCH(QString, kept);
        if (geteuid() == 0 && path.startsWith("locked"))
            QSKIP("root may search any folder");
        const QString root = m_tmp.filePath(QTest::currentDataTag()) + "/";
        QVERIFY(makeAll(root, { "x/keep.txt", "real/sub/", "locked/inner/keep.txt" }));
        QVERIFY(QFile::link(root + "real/sub", root + "L") && setMode(root + "locked", 0600));
        QVERIFY(path.startsWith("locked") || make(root, gone + "/gone.txt"));
        const bool result = FileHandler::clearDir(root + path);
        setMode(root + "locked", 0755);
        QCOMPARE(result, removed);
        QVERIFY(!QFileInfo::exists(root + gone) && QFileInfo::exists(root + kept));
    }

    void otherFileSystemsStay_data() { addRemoverRows(); }

    // A drive bound into the tree is not entered: it stays, with the folders
    // above it, and all else goes.
    void otherFileSystemsStay()
    {
        QFETCH(int, remover);
        QTemporaryDir mountPoint(m_tmp.filePath("root-XXXXXX"));
        // 1: said all was removed, 2: the drive entered, 4: the rest kept, 8: no set-up
        const int result = FakeRoot::run(mountPoint.path(), [remover] {
            if (!makeAll("/tree", { "a.txt", "sub/b.txt" }) || !FakeRoot::bindDrive("/tree/sub/drive"))
                return 8;
            int failed = removeBy(remover, "/tree") && remover != ClearFiles ? 1 : 0;
            failed |= QFileInfo::exists("/tree/sub/drive/canary.txt") ? 0 : 2;
            return failed | (QFileInfo::exists("/tree/a.txt") || QFileInfo::exists("/tree/sub/b.txt") ? 4 : 0);
        });
        if (result == FakeRoot::kUnavailable)
            QSKIP("no user and mount namespaces to bind a drive in");
        QCOMPARE(result, 0);
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
    // and the folders holding them stay, and the clearer still ends. A link to
    // a file of a folder emptied before its own is listed is broken by then.
    void systemEntriesStay()
    {
        const QString root = m_tmp.filePath("system-entries");
        QVERIFY(makeAll(root, { "plain.txt", "s/plain.txt", "a/", "b/0-last-to-go" })
            && makeFiles(root + "/b", "f", 2000)
            && QFile::link(root + "/missing", root + "/s/broken")
            && QFile::link("../b/0-last-to-go", root + "/a/to-b"));
        QCOMPARE(mkfifo(QFile::encodeName(root + "/s/fifo").constData(), 0644), 0);

        QVERIFY(FileHandler::clearFiles(root));
        QVERIFY(!FileHandler::clearDir(root));
        QCOMPARE(everythingBelow(root),
            (QStringList { "a", "a/to-b", "s", "s/broken", "s/fifo" }));
    }

    // The walk holds a few descriptors, whatever the width or the depth of the
    // tree: both go under a low limit of open files, at any depth.
    void wideAndDeepTrees()
    {
        const QString wide = m_tmp.filePath("wide");
        for (int folder = 0; folder < 1000; ++folder)
            QVERIFY(makeFiles(wide + "/d" + QString::number(folder), "f", 1));
        const QString deep = m_tmp.filePath("deep");
        // Made level by level: its paths grow longer than the system takes.
        QVERIFY(make(deep, "top.txt") && QDir::setCurrent(deep));
        for (int level = 0; level < 1000; ++level)
            QVERIFY(mkdir("level", 0755) == 0 && chdir("level") == 0 && makeFiles(".", "f", 1));
        QVERIFY(QDir::setCurrent(m_tmp.path()));

        // A few descriptors beyond those already open, whatever their number.
        const int firstFree = open("/dev/null", O_RDONLY | O_CLOEXEC);
        QVERIFY(firstFree >= 0 && close(firstFree) == 0);
        rlimit saved {};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        rlimit lowered = saved;
        lowered.rlim_cur = static_cast<rlim_t>(firstFree) + 16;
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &lowered), 0);
        const bool wideCleared = FileHandler::clearDir(wide);
        const bool deepCleared = FileHandler::clearDir(deep);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);
        QVERIFY(wideCleared && deepCleared);
        QVERIFY(!QFileInfo::exists(wide) && !QFileInfo::exists(deep));
    }

    // Past the folders it holds open, the walk climbs back through "..": a
    // folder of the chain moved out meanwhile leads elsewhere, and the walk
    // stops there rather than empty the folder it was moved to.
    void movedDeepFolderStopsTheWalk()
    {
        const QString tree = m_tmp.filePath("moved/tree");
        const QString outside = m_tmp.filePath("moved/outside");
        QVERIFY(make(outside, "canary.txt") && make(tree, "top.txt") && QDir::setCurrent(tree));
        for (int level = 0; level < 500; ++level)
            QVERIFY(mkdir("level", 0755) == 0 && chdir("level") == 0 && makeFiles(".", "f", 1));
        QVERIFY(QDir::setCurrent(m_tmp.path()));
        // Each level's file goes as the walk climbs back through it.
        const QByteArray climbing = QFile::encodeName(tree + QString("/level").repeated(400) + "/f0.txt");
        const QByteArray cut = QFile::encodeName(tree + QString("/level").repeated(100));
        std::atomic<bool> stop { false };
        std::thread mover([&] {
            while (!stop && access(climbing, F_OK) == 0) { }
            rename(cut, QFile::encodeName(outside + "/moved"));
        });
        FileHandler::clearDir(tree);
        stop = true;
        mover.join();
        QVERIFY(QFileInfo::exists(outside + "/canary.txt"));
        QVERIFY2(QFileInfo::exists(outside + "/moved"), "moved too late");
    }

    void swappedFolderIsNeverFollowed_data() { addRemoverRows(); }

    // See SwapRace.h.
    void swappedFolderIsNeverFollowed()
    {
        QFETCH(int, remover);
        const SwapRace::Result race = SwapRace::run(
            m_tmp.path(), [remover](const QString& tree) { removeBy(remover, tree); });
        std::printf("%d rounds, %d raced, %d canaries lost\n", race.rounds, race.raced, race.lost);
        QCOMPARE(race.lost, 0);
        QVERIFY2(race.raced >= 5, "the swaps hardly overlapped the clearing");
    }

    void rootIsRefused_data()
    {
        QTest::addColumn<QString>("path"); // inside a child whose "/" is a tmpfs of its own
        QTest::newRow("root, doubled separator") << "//";
        QTest::newRow("parent of a top folder") << "/tmp/..";
        QTest::newRow("current folder at the root") << ".";
        QTest::newRow("link to the root") << "/tmp/to-root";
    }

    void rootIsRefused()
    {
        if (geteuid() == 0)
            QSKIP("root could delete anything, should the sandbox give way");
        QFETCH(QString, path);
        QTemporaryDir mountPoint(m_tmp.filePath("root-XXXXXX"));
        // 1: clearDir or deleteTree said true, 2: clearFiles said false, 4: something
        // deleted, 8: no set-up; deleteTree removes a link given to it.
        const int result = FakeRoot::run(mountPoint.path(), [&path] {
            if (!makeAll("/", { "canary.txt", "tmp/canary.txt", "tmp/inner/canary.txt" })
                || symlink("/", "/tmp/to-root") != 0)
                return 8;
            int failed = FileHandler::clearDir(path) ? 1 : 0;
            failed |= FileHandler::clearFiles(path) ? 0 : 2;
            failed |= deleteTree(path) && !path.contains("to-root") ? 1 : 0;
            for (const char* kept : { "/canary.txt", "/tmp/canary.txt", "/tmp/inner/canary.txt" })
                failed |= QFileInfo::exists(kept) ? 0 : 4;
            return failed;
        });
        if (result == FakeRoot::kUnavailable)
            QSKIP("no user and mount namespaces to give the clearer a root of its own");
        QCOMPARE(result, 0);
    }

    // Absolute paths, sorted by name ignoring case, hidden entries left out;
    // nothing for the empty path. Names match exactly.
    void listings()
    {
        const QString dir = m_tmp.filePath("lists");
        QVERIFY(makeAll(dir,
            { "B.txt", "a.txt", "c.TXT", ".hidden", "sub/inner.txt", "Beta/", "alpha/", ".git/" }));
        QVERIFY(FileHandler::fileExist(dir, "B.txt") && !FileHandler::fileExist(dir, "b.txt"));
        const QStringList files { dir + "/a.txt", dir + "/B.txt", dir + "/c.TXT" };
        QCOMPARE(FileHandler::getFileList(dir), files);
        QCOMPARE(FileHandler::getFilePathList(dir), files);
        QCOMPARE(FileHandler::getFolderList(dir),
            (QStringList { dir + "/alpha", dir + "/Beta", dir + "/sub" }));
        // The empty path is not the current folder.
        QVERIFY(FileHandler::getFileList(QString()).isEmpty()
            && FileHandler::getFilePathList(QString()).isEmpty()
            && FileHandler::getFolderList(QString()).isEmpty());
    }

    void dirCreate()
    {
        const QString nested = m_tmp.filePath("create/with parents/项目");
        FileHandler::dirCreate(nested);
        QVERIFY(QFileInfo(nested).isDir());
        // Gives up where no folder can be made, instead of trying for ever.
        QVERIFY(make(m_tmp.path(), "plain-file"));
        FileHandler::dirCreate(m_tmp.filePath("plain-file/below"));
    }
};

QTEST_GUILESS_MAIN(TestFileHandler)
#include "tst_filehandler.moc"
