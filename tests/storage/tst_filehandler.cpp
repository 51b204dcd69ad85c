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

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using FileTree::makeAll;
using FileTree::makeLink;
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

// Below `top`, a chain of `levels` folders named "level", each holding
// f0.txt. It is made from the bottom up, what is made so far moved into a new
// folder each time, so that no path grows long: Windows takes no current
// folder longer than MAX_PATH.
bool makeChain(const QString& top, int levels)
{
    const QString made = top + "/level";
    const QString next = top + "/next";
    for (int level = 0; level < levels; ++level) {
        if (!makeFiles(next, "f", 1) || (level > 0 && !QDir().rename(made, next + "/level"))
            || !QDir().rename(next, made))
            return false;
    }
    return true;
}

#ifdef Q_OS_WIN
// How an entry is kept on Windows: its read-only attribute, or a handle that
// does not share its deletion (QFile shares reading and writing only).
enum Lock { ReadOnly, HeldOpen };

// Sets or clears the attribute; false also when the system does not keep it.
bool setAttribute(const QString& path, DWORD attribute, bool set)
{
    const std::wstring native = SwapRace::native(path); // the long form
    const DWORD was = GetFileAttributesW(native.c_str());
    return was != INVALID_FILE_ATTRIBUTES
        && SetFileAttributesW(native.c_str(), set ? was | attribute : was & ~attribute)
        && ((GetFileAttributesW(native.c_str()) & attribute) == attribute) == set;
}
#endif

} // namespace

class TestFileHandler : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;

private slots:

    void pathsThatNameNoFolder()
    {
        const QString work = m_tmp.filePath("cwd");
        const QString before = QDir::currentPath();
        QVERIFY(makeAll(work, { "keep.txt", "a-file", "rel/inner/file.txt" }));
        QVERIFY(QDir::setCurrent(work));

        // Nothing to do, and above all the current folder is not emptied;
        // deleteTree says whether nothing is there.
        for (const QString& path : { QString(), work + "/missing", work + "/a-file" }) {
            QVERIFY(FileHandler::clearFiles(path));
            QVERIFY(FileHandler::clearDir(path));
            QCOMPARE(deleteTree(path), path.endsWith("missing"));
        }
        // A relative path is taken from the current folder.
        QVERIFY(FileHandler::clearDir("rel"));
        QCOMPARE(everythingBelow(work), (QStringList { "a-file", "keep.txt" }));
        // dirCreate makes the parents, and gives up where no folder can be made.
        FileHandler::dirCreate(work + "/new/项目");
        FileHandler::dirCreate(work + "/a-file/below");
        QVERIFY(QFileInfo(work + "/new/项目").isDir());
        QVERIFY(FileHandler::clearDir(work + "/new"));
        // Windows removes no folder that is a program's current one.
        QVERIFY(QDir::setCurrent(before));
    }

    void whatCannotGoStays_data()
    {
        QTest::addColumn<QString>("target"); // given the mode after the tree is built
        QTest::addColumn<int>("mode"); // on Windows a Lock
        QTest::addColumn<QStringList>("remains");

        const QStringList readOnlyFile { "a", "a/b", "a/b/ro.txt" };
#ifdef Q_OS_WIN
        QTest::newRow("read-only file two levels down")
            << "a/b/ro.txt" << int(ReadOnly) << readOnlyFile;
        // Windows' attribute keeps the folder, not what is in it.
        QTest::newRow("read-only folder") << "a/b/" << int(ReadOnly) << QStringList { "a", "a/b" };
        QTest::newRow("file held open") << "a/b/ro.txt" << int(HeldOpen) << readOnlyFile;
#else
        const QStringList lockedFolder { "a", "a/locked", "a/locked/inner.txt" };
        QTest::newRow("read-only file two levels down") << "a/b/ro.txt" << 0444 << readOnlyFile;
        QTest::newRow("read-only folder keeps its content")
            << "a/b/" << 0555 << QStringList { "a", "a/b", "a/b/c", "a/b/inner.txt", "a/b/w.txt" };
        QTest::newRow("folder not searchable") << "a/locked/" << 0600 << lockedFolder;
        QTest::newRow("folder not readable") << "a/locked/" << 0300 << lockedFolder;
#endif
    }

    void whatCannotGoStays()
    {
#ifndef Q_OS_WIN
        if (geteuid() == 0)
            QSKIP("root may delete and list anything");
#endif
        QFETCH(QString, target);
        QFETCH(int, mode);
        QFETCH(QStringList, remains);

        const QString root = m_tmp.filePath(QTest::currentDataTag());
        const QString locked = root + "/" + target;
        const bool folder = target.endsWith('/');
        QVERIFY(makeAll(root,
            { "a/x.txt", "a/b/w.txt", "a/b/c/deeper.txt", "d/e/f.txt", "top.txt", ".hidden",
                folder ? target + "inner.txt" : target }));
#ifdef Q_OS_WIN
        QFile holder(locked);
        if (mode == HeldOpen)
            QVERIFY(holder.open(QIODevice::ReadOnly));
        else if (!setAttribute(locked, FILE_ATTRIBUTE_READONLY, true))
            QSKIP("this system keeps no read-only attribute on the entry (Wine none on folders)");
#else
        const QByteArray path = QFile::encodeName(locked);
        QVERIFY(chmod(path.constData(), mode_t(mode)) == 0);
#endif

        // Each call must end, whether what cannot go lies below the folder or is it.
        QVERIFY(FileHandler::clearFiles(root));
        QVERIFY(!FileHandler::clearDir(root));
        QVERIFY(FileHandler::clearFiles(locked));
        QCOMPARE(FileHandler::clearDir(locked), !folder);
#ifdef Q_OS_WIN
        holder.close();
        setAttribute(locked, FILE_ATTRIBUTE_READONLY, false);
#else
        QVERIFY(!deleteTree(locked)); // a file, or a folder whose entries cannot go
        chmod(path.constData(), folder ? 0755 : 0644);
#endif
        QCOMPARE(everythingBelow(root), remains);
    }

    void swappedFolderIsNeverFollowed_data() { addRemoverRows(); }

    // See SwapRace.h.
    void swappedFolderIsNeverFollowed()
    {
        QFETCH(int, remover);
        if (!FileTree::linksWork(m_tmp.path()))
            QSKIP(FileTree::kNoLinks);
        const SwapRace::Result race = SwapRace::run(
            m_tmp.path(), [remover](const QString& tree) { removeBy(remover, tree); });
        std::printf("%d rounds, %d raced, %d canaries lost\n", race.rounds, race.raced, race.lost);
        QCOMPARE(race.lost, 0);
        QVERIFY2(race.raced >= SwapRace::racedWanted() / 2, "the swaps hardly overlapped the clearing");
    }

    void rootAndOtherMountsStay_data() { addRemoverRows(); }

    // A file-system root is refused, whatever path names it: clearDir and
    // deleteTree say so (deleteTree removes a link given to it), clearFiles
    // leaves it alone. A folder bound into the tree from elsewhere on the disk
    // is another mount: it is not entered and stays, the rest of the tree goes.
    void rootAndOtherMountsStay()
    {
        QFETCH(int, remover);
#ifdef Q_OS_WIN
        // Windows mounts a drive into a folder as a reparse point, removed as a
        // link and never entered: the rows with links show it. The root is
        // shown refused by the letter on a drive letter that names nothing:
        // were the refusal broken, there would be nothing to lose.
        const DWORD drives = GetLogicalDrives();
        char letter = 'Z';
        while (letter > 'D' && (drives & (1u << (letter - 'A'))))
            --letter;
        QVERIFY2(letter > 'D', "every drive letter is taken");
        for (const QString path : { "%1:/", "%1://", "%1:\\Windows\\.." })
            QCOMPARE(removeBy(remover, path.arg(QChar(letter))), remover == ClearFiles);
#else
        if (geteuid() == 0)
            QSKIP("root could delete anything, should the sandbox give way");
        QTemporaryDir mountPoint(m_tmp.filePath("root-XXXXXX"));
        // In a child whose "/" is a tmpfs of its own. 1: a wrong result, 2: the
        // bound folder entered, 4: the rest of the tree kept, 8: a canary of
        // the root lost, 16: no set-up.
        const int result = FakeRoot::run(mountPoint.path(), [remover] {
            if (!makeAll("/", { "canary.txt", "tmp/canary.txt", "tmp/inner/canary.txt", "tree/a.txt",
                    "tree/sub/b.txt" })
                || symlink("/", "/tmp/to-root") != 0 || !FakeRoot::bindDrive("/tree/sub/drive"))
                return 16;
            int failed = removeBy(remover, "/tree") && remover != ClearFiles ? 1 : 0;
            failed |= QFileInfo::exists("/tree/sub/drive/canary.txt") ? 0 : 2;
            failed |= QFileInfo::exists("/tree/a.txt") || QFileInfo::exists("/tree/sub/b.txt") ? 4 : 0;
            for (const QString path : { "//", "/tmp/..", ".", "/tmp/to-root" }) {
                const bool link = remover == DeleteTree && path.endsWith("to-root");
                failed |= removeBy(remover, path) == (remover == ClearFiles || link) ? 0 : 1;
            }
            for (const char* kept : { "/canary.txt", "/tmp/canary.txt", "/tmp/inner/canary.txt" })
                failed |= QFileInfo::exists(kept) ? 0 : 8;
            return failed;
        });
        if (result == FakeRoot::kUnavailable)
            QSKIP("no user and mount namespaces to give the clearer a root of its own");
        QCOMPARE(result, 0);
#endif
    }

    void longPaths_data() { addRemoverRows(); }

    // A folder whose path is longer than Windows' MAX_PATH, given with a
    // trailing separator, holding every kind of entry: odd and hidden names
    // at every level, links inside and out, which go as links, a wide tree
    // and a deep one whose paths grow many times longer, though not past the
    // 4096 bytes of a Linux path, which Wine cannot remove. The POSIX walk
    // holds a few descriptors whatever the width or the depth of the tree,
    // and goes under a low limit of open files. deleteTree given a link
    // removes the link alone.
    void longPaths()
    {
        QFETCH(int, remover);
        const QString canary = m_tmp.filePath("canary");
        QVERIFY(makeAll(canary, { "precious.txt", "nested/precious.txt" }));
        const QString name(100, 'n');
        const QString folder
            = m_tmp.filePath(QTest::currentDataTag()) + QString("/" + name).repeated(3);
        QStringList entries { name + "/" + name + "/deep.txt", "top.txt", ".hidden",
            ".hidden-dir/inside.txt", "a/b/c/.deep-hidden", "a/empty/", "zz/", "with space/file name.txt",
            "项目/模型.db", "Case/upper.txt", "case/lower.txt" };
#ifndef Q_OS_WIN
        entries << "line\nbreak/x\ny"; // no Windows name holds a control character
#endif
        QVERIFY(folder.size() > 300 && makeAll(folder, entries));
#ifdef Q_OS_WIN
        // What Windows hides is listed as much as a dot name.
        for (const char* hidden : { "/.hidden", "/.hidden-dir" })
            QVERIFY(setAttribute(folder + hidden, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, true));
#endif
        const bool links = FileTree::linksWork(m_tmp.path()); // the race's rows say when not
        const QString linked[][2] { { canary, "to-canary" }, { canary, "a/b/deep-to-canary" },
            { canary + "/precious.txt", "to-canary-file" }, { "a", "to-inside" },
            { "../top.txt", "zz/to-sibling-file" } }; // zz goes before top.txt
        for (const auto& link : linked)
            QVERIFY(!links || makeLink(link[0], folder + "/" + link[1]));
        for (int wide = 0; wide < 24; ++wide)
            QVERIFY(makeFiles(folder + "/d" + QString::number(wide), "f", 1));
        QVERIFY(makeChain(folder, 120));
#ifndef Q_OS_WIN
        // A few descriptors beyond those already open, whatever their number.
        const int firstFree = open("/dev/null", O_RDONLY | O_CLOEXEC);
        QVERIFY(firstFree >= 0 && close(firstFree) == 0);
        rlimit saved {};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        rlimit lowered = saved;
        lowered.rlim_cur = static_cast<rlim_t>(firstFree) + 16;
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &lowered), 0);
#endif
        const bool removed = removeBy(remover, folder + "/");
#ifndef Q_OS_WIN
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);
#endif
        QVERIFY(removed);
        QCOMPARE(QFileInfo::exists(folder), remover == ClearFiles);
        QCOMPARE(everythingBelow(folder), QStringList {});
        if (links && remover == DeleteTree)
            QVERIFY(makeLink(canary, folder) && deleteTree(folder + "/") && !QFileInfo(folder).isSymLink());
        QCOMPARE(everythingBelow(canary),
            (QStringList { "nested", "nested/precious.txt", "precious.txt" }));
    }
};

QTEST_GUILESS_MAIN(TestFileHandler)
#include "tst_filehandler.moc"
