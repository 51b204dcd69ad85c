#include "FileTree.h"

#include <storage/FileHandler.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

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

} // namespace

class TestFileHandler : public QObject
{
    Q_OBJECT

private slots:
    void clear_data();
    void clear();
    void pathsThatNameNoFolder();
    void whatCannotGoStays_data();
    void whatCannotGoStays();
    void linksAreRemovedNotFollowed();
    void systemEntriesStay();
    void fileExist_data();
    void fileExist();
    void getFileName_data();
    void getFileName();
    void listings();
    void dirCreate();

private:
    QTemporaryDir m_tmp;
};

void TestFileHandler::clear_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("suffix"); // appended to the folder's path

    QString chain;
    for (int level = 0; level < 100; ++level)
        chain += QString("level%1/").arg(level);
    QTest::newRow("empty folder") << QStringList {} << "";
    QTest::newRow("every level and odd names") << QStringList { "a/b/c/sibling.txt", "top.txt",
        ".hidden", ".hidden-dir/inside.txt", "a/b/c/d/e/deep.txt", "a/b/c/d/e/.deep-hidden",
        "a/empty/", "with space/file name.txt", "line\nbreak/x\ny", "项目/模型.db",
        "Case/upper.txt", "case/lower.txt" } << "";
    QTest::newRow("trailing separator") << QStringList { "x.txt", "sub/z.txt" } << "/";
    QTest::newRow("chain of 100 folders")
        << QStringList { chain + "bottom.txt", "level0/level1/side.txt" } << "";
}

// clearFiles empties the folder, clearDir then removes it.
void TestFileHandler::clear()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, suffix);
    const QString root = m_tmp.filePath(QTest::currentDataTag());
    QVERIFY(QDir().mkpath(root) && makeAll(root, entries));
    QFile heldOpen(root + "/" + entries.value(0));
    QVERIFY(entries.isEmpty() || heldOpen.open(QIODevice::ReadOnly)); // no obstacle here

    QVERIFY(FileHandler::clearFiles(root + suffix));
    QVERIFY(QFileInfo(root).isDir());
    QCOMPARE(everythingBelow(root), QStringList {});
    QVERIFY(make(root, "again/x.txt"));
    QVERIFY(FileHandler::clearDir(root + suffix));
    QVERIFY(!QFileInfo::exists(root));
}

void TestFileHandler::pathsThatNameNoFolder()
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

void TestFileHandler::whatCannotGoStays_data()
{
    QTest::addColumn<QString>("target"); // given the mode after the tree is built
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("remains");

    const QStringList lockedFolder { "a", "a/locked", "a/locked/inner.txt" };
    QTest::newRow("read-only file two levels down")
        << "a/b/ro.txt" << 0444 << QStringList { "a", "a/b", "a/b/ro.txt" };
    QTest::newRow("read-only file at the top") << "ro.txt" << 0444 << QStringList { "ro.txt" };
    QTest::newRow("read-only folder keeps its content")
        << "a/b/" << 0555 << QStringList { "a", "a/b", "a/b/c", "a/b/inner.txt", "a/b/w.txt" };
    QTest::newRow("folder without any permission") << "a/locked/" << 0 << lockedFolder;
    QTest::newRow("folder not searchable") << "a/locked/" << 0600 << lockedFolder;
    QTest::newRow("folder not readable") << "a/locked/" << 0300 << lockedFolder;
}

void TestFileHandler::whatCannotGoStays()
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

void TestFileHandler::linksAreRemovedNotFollowed()
{
    const QString canary = m_tmp.filePath("canary");
    QVERIFY(makeAll(canary, { "precious.txt", "nested/precious.txt" }));
    const QStringList canaryContent = everythingBelow(canary);

    const QString root = m_tmp.filePath("with-links");
    QVERIFY(makeAll(root, { "inside/file.txt", "sub/" }));
    QVERIFY(QFile::link(canary, root + "/to-canary"));
    QVERIFY(QFile::link(canary, root + "/sub/deep-to-canary"));
    QVERIFY(QFile::link(canary + "/precious.txt", root + "/to-canary-file"));
    QVERIFY(QFile::link(root + "/inside", root + "/to-inside"));
    QVERIFY(QFile::link(root + "/inside/file.txt", root + "/sub/to-sibling-file"));

    QVERIFY(FileHandler::clearDir(root));
    QVERIFY(!QFileInfo::exists(root));
    QCOMPARE(everythingBelow(canary), canaryContent);
}

// Broken links and FIFOs are system entries: no listing shows them, so they
// and the folders holding them stay, and the clearer still ends.
void TestFileHandler::systemEntriesStay()
{
    const QString root = m_tmp.filePath("system-entries");
    QVERIFY(makeAll(root, { "plain.txt", "s/plain.txt" }));
    const QString brokenLink = root + "/s/broken";
    const QString fifo = root + "/s/fifo";
    QVERIFY(QFile::link(root + "/missing", brokenLink));
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);

    QVERIFY(FileHandler::clearFiles(root));
    QVERIFY(!FileHandler::clearDir(root));
    struct stat info;
    QCOMPARE(lstat(QFile::encodeName(brokenLink).constData(), &info), 0);
    QCOMPARE(lstat(QFile::encodeName(fifo).constData(), &info), 0);
    QVERIFY(!QFileInfo::exists(root + "/plain.txt"));
    QVERIFY(!QFileInfo::exists(root + "/s/plain.txt"));
}

void TestFileHandler::fileExist_data()
{
    QTest::addColumn<QString>("dir"); // relative to the fixture
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    const auto row = [](const char* tag, const char* dir, const char* name, bool exists) {
        QTest::newRow(tag) << QString(dir) << QString::fromUtf8(name) << exists;
    };
    row("exact name", "files", "Model.db", true);
    row("other letter case", "files", "model.db", false);
    row("name with space and non-ASCII", "files", "项目 文件.txt", true);
    row("link to a file", "files", "link.db", true);
    row("sub-folder", "files", "sub", false);
    row("hidden file", "files", ".hidden", false);
    row("path instead of a name", "files", "sub/inner.txt", false);
    row("missing folder", "nowhere", "Model.db", false);
    row("empty folder path", "", "Model.db", false);
}

void TestFileHandler::fileExist()
{
    QFETCH(QString, dir);
    QFETCH(QString, name);
    QFETCH(bool, exists);

    const QString files = m_tmp.filePath("files");
    if (!QFileInfo::exists(files)) {
        QVERIFY(makeAll(files, { "Model.db", "项目 文件.txt", ".hidden", "sub/inner.txt" }));
        QVERIFY(QFile::link(files + "/Model.db", files + "/link.db"));
    }
    QCOMPARE(FileHandler::fileExist(dir.isEmpty() ? dir : m_tmp.filePath(dir), name), exists);
}

void TestFileHandler::getFileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    for (const auto& row : { std::pair("/work/space/模型 1.Tessel", "模型 1.Tessel"),
             std::pair("/work/space/", ""), std::pair("file.txt", "file.txt"), std::pair("", "") })
        QTest::addRow("'%s'", row.first) << QString(row.first) << QString(row.second);
}

void TestFileHandler::getFileName()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QCOMPARE(FileHandler::getFileName(path), name);
}

void TestFileHandler::listings()
{
    const QString dir = m_tmp.filePath("lists");
    QVERIFY(makeAll(dir,
        { "B.txt", "a.txt", "c.TXT", ".hidden", "sub/inner.txt", "Beta/", "alpha/", ".git/" }));

    // Absolute paths, sorted by name ignoring case, hidden entries left out.
    const QStringList files { dir + "/a.txt", dir + "/B.txt", dir + "/c.TXT" };
    QCOMPARE(FileHandler::getFileList(dir), files);
    QCOMPARE(FileHandler::getFilePathList(dir), files);
    QCOMPARE(FileHandler::getFolderList(dir),
        (QStringList { dir + "/alpha", dir + "/Beta", dir + "/sub" }));

    QVERIFY(QDir().mkpath(m_tmp.filePath("empty-listing")));
    for (const QString& none :
        { m_tmp.filePath("missing"), QString(), m_tmp.filePath("empty-listing") }) {
        QVERIFY(FileHandler::getFileList(none).isEmpty());
        QVERIFY(FileHandler::getFilePathList(none).isEmpty());
        QVERIFY(FileHandler::getFolderList(none).isEmpty());
    }

    QStringList list { "keep", "these" };
    FileHandler::getAllFilePathList(dir, list);
    FileHandler::getAllFilePathList(dir, "*.txt", list);
    QCOMPARE(list, (QStringList { "keep", "these" }));
}

void TestFileHandler::dirCreate()
{
    const QString nested = m_tmp.filePath("create/with parents/项目");
    FileHandler::dirCreate(nested);
    QVERIFY(QFileInfo(nested).isDir());
    QVERIFY(make(nested, "kept.txt"));
    FileHandler::dirCreate(nested);
    QCOMPARE(everythingBelow(nested), QStringList { "kept.txt" });

    // Gives up where no folder can be made, instead of trying for ever.
    const QString file = m_tmp.filePath("plain-file");
    QVERIFY(make(m_tmp.path(), "plain-file"));
    FileHandler::dirCreate(file);
    FileHandler::dirCreate(file + "/below");
    FileHandler::dirCreate(QString());
    QVERIFY(QFileInfo(file).isFile());
    if (geteuid() == 0)
        return;
    const QString locked = m_tmp.filePath("locked-parent");
    QVERIFY(QDir().mkpath(locked) && setMode(locked, 0500));
    FileHandler::dirCreate(locked + "/child");
    QVERIFY(!QFileInfo::exists(locked + "/child"));
    setMode(locked, 0700);
}

QTEST_GUILESS_MAIN(TestFileHandler)
#include "tst_filehandler.moc"
