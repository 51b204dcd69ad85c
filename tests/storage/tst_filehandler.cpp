#include <storage/FileHandler.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Creates a file (and its folders) below root; a name ending in "/" makes a folder.
bool make(const QString& root, const QString& relative)
{
    const QString path = root + "/" + relative;
    if (relative.endsWith('/'))
        return QDir().mkpath(path);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("content") == 7;
}

// Every entry below root, hidden ones and links included, relative to root.
QStringList everythingBelow(const QString& root)
{
    QStringList found;
    const QDir base(root);
    const QFileInfoList entries = base.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
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

bool isRoot()
{
    return geteuid() == 0;
}

} // namespace

class TestFileHandler : public QObject
{
    Q_OBJECT

private slots:
    void clearFilesEmptiesEveryLevel();
    void clearDirRemovesTheFolder_data();
    void clearDirRemovesTheFolder();
    void nothingToClear_data();
    void nothingToClear();
    void emptyAndRelativePaths();
    void readOnlyEntriesStay_data();
    void readOnlyEntriesStay();
    void unlistableFolderEnds_data();
    void unlistableFolderEnds();
    void linksAreRemovedNotFollowed();
    void deepChainIsEmptied();

    void fileExist_data();
    void fileExist();
    void getFileName_data();
    void getFileName();
    void fileListsGiveAbsolutePaths();
    void getFolderListGivesSubfolders();
    void listingsOfMissingFolders();
    void dirCreate();
    void dirCreateGivesUp();
    void getAllFilePathListLeavesTheList();

private:
    QTemporaryDir m_tmp;
};

void TestFileHandler::clearFilesEmptiesEveryLevel()
{
    const QString root = m_tmp.filePath("every-level");
    for (const char* entry : { "top.txt", ".hidden", ".hidden-dir/inside.txt", "a/b/c/d/e/deep.txt",
             "a/b/c/d/e/.deep-hidden", "a/b/c/sibling.txt", "a/empty/", "with space/file name.txt",
             "line\nbreak/x\ny", "项目/模型.db", "Case/upper.txt", "case/lower.txt" })
        QVERIFY2(make(root, entry), entry);
    QFile heldOpen(root + "/a/b/c/sibling.txt");
    QVERIFY(heldOpen.open(QIODevice::ReadOnly)); // no obstacle on this system

    QVERIFY(FileHandler::clearFiles(root));
    QVERIFY(QFileInfo(root).isDir());
    QCOMPARE(everythingBelow(root), QStringList {});
}

void TestFileHandler::clearDirRemovesTheFolder_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("empty folder") << QStringList {};
    QTest::newRow("files and folders") << QStringList { "x.txt", ".y", "sub/z.txt", "sub/deeper/" };
    QTest::newRow("trailing separator") << QStringList { "x.txt" };
}

void TestFileHandler::clearDirRemovesTheFolder()
{
    QFETCH(QStringList, entries);
    const QString root = m_tmp.filePath(QTest::currentDataTag());
    QVERIFY(QDir().mkpath(root));
    for (const QString& entry : entries)
        QVERIFY(make(root, entry));
    const QString argument
        = QTest::currentDataTag() == QByteArray("trailing separator") ? root + "/" : root;

    QVERIFY(FileHandler::clearDir(argument));
    QVERIFY(!QFileInfo::exists(root));
}

void TestFileHandler::nothingToClear_data()
{
    QTest::addColumn<bool>("isFile");
    QTest::newRow("missing path") << false;
    QTest::newRow("path naming a file") << true;
}

void TestFileHandler::nothingToClear()
{
    QFETCH(bool, isFile);
    const QString path = m_tmp.filePath(QTest::currentDataTag());
    if (isFile)
        QVERIFY(make(m_tmp.path(), QTest::currentDataTag()));

    QVERIFY(FileHandler::clearFiles(path));
    QVERIFY(FileHandler::clearDir(path));
    QCOMPARE(QFileInfo(path).isFile(), isFile);
    QVERIFY(!QFileInfo(path).isDir());
}

void TestFileHandler::emptyAndRelativePaths()
{
    const QString work = m_tmp.filePath("cwd");
    QVERIFY(make(work, "keep.txt"));
    QVERIFY(make(work, "rel/inner/file.txt"));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work));

    // An empty path names nothing; it must not empty the current folder.
    QVERIFY(FileHandler::clearFiles(QString()));
    QVERIFY(FileHandler::clearDir(QString()));
    QVERIFY(QFile::exists(work + "/keep.txt"));

    // A relative path is taken from the current folder.
    QVERIFY(FileHandler::clearFiles("rel"));
    QCOMPARE(everythingBelow(work), (QStringList { "keep.txt", "rel" }));
    QVERIFY(FileHandler::clearDir("rel"));
    QCOMPARE(everythingBelow(work), QStringList { "keep.txt" });

    QVERIFY(QDir::setCurrent(previous));
}

void TestFileHandler::readOnlyEntriesStay_data()
{
    QTest::addColumn<QString>("readOnly"); // made read-only after the tree is built
    QTest::addColumn<QStringList>("remains"); // what clearFiles must leave

    QTest::newRow("read-only file two levels down")
        << "a/b/ro.txt" << QStringList { "a", "a/b", "a/b/ro.txt" };
    QTest::newRow("read-only file at the top") << "ro.txt" << QStringList { "ro.txt" };
    QTest::newRow("read-only folder keeps its content")
        << "a/b/" << QStringList { "a", "a/b", "a/b/inner.txt" };
}

void TestFileHandler::readOnlyEntriesStay()
{
    if (isRoot())
        QSKIP("root may delete read-only entries");
    QFETCH(QString, readOnly);
    QFETCH(QStringList, remains);

    const QString root = m_tmp.filePath(QTest::currentDataTag());
    for (const char* entry :
        { "a/x.txt", "a/b/w.txt", "a/b/c/deeper.txt", "d/e/f.txt", "top.txt", ".hidden" })
        QVERIFY(make(root, entry));
    if (readOnly.endsWith('/')) {
        QVERIFY(make(root, readOnly + "inner.txt"));
        QFile::remove(root + "/a/b/w.txt");
        QDir(root + "/a/b/c").removeRecursively();
    } else {
        QVERIFY(make(root, readOnly));
    }
    const QString target = root + "/" + readOnly;
    QVERIFY(
        chmod(QFile::encodeName(target).constData(), readOnly.endsWith('/') ? 0555 : 0444) == 0);

    QVERIFY(FileHandler::clearFiles(root));
    QCOMPARE(everythingBelow(root), remains);
    QVERIFY(!FileHandler::clearDir(root));
    QCOMPARE(everythingBelow(root), remains);

    chmod(QFile::encodeName(target).constData(), 0755);
}

void TestFileHandler::unlistableFolderEnds_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("no permission at all") << 0;
    QTest::newRow("readable and writable, not searchable") << 0600;
    QTest::newRow("writable and searchable, not readable") << 0300;
}

void TestFileHandler::unlistableFolderEnds()
{
    if (isRoot())
        QSKIP("root may list any folder");
    QFETCH(int, mode);

    const QString root = m_tmp.filePath(QTest::currentDataTag());
    QVERIFY(make(root, "a/locked/inner.txt"));
    QVERIFY(make(root, "a/other.txt"));
    QVERIFY(make(root, "b.txt"));
    const QByteArray locked = QFile::encodeName(root + "/a/locked");
    QVERIFY(chmod(locked.constData(), static_cast<mode_t>(mode)) == 0);

    // Must return: the locked folder can be neither emptied nor removed.
    QVERIFY(FileHandler::clearFiles(root));
    QVERIFY(!FileHandler::clearDir(root));

    // The same folder given as the one to clear.
    QVERIFY(FileHandler::clearFiles(root + "/a/locked"));
    QVERIFY(!FileHandler::clearDir(root + "/a/locked"));

    chmod(locked.constData(), 0755);
    QCOMPARE(everythingBelow(root), (QStringList { "a", "a/locked", "a/locked/inner.txt" }));
}

void TestFileHandler::linksAreRemovedNotFollowed()
{
    const QString canary = m_tmp.filePath("canary");
    QVERIFY(make(canary, "precious.txt"));
    QVERIFY(make(canary, "nested/precious.txt"));
    const QStringList canaryContent = everythingBelow(canary);

    const QString root = m_tmp.filePath("with-links");
    QVERIFY(make(root, "inside/file.txt"));
    QVERIFY(make(root, "sub/"));
    QVERIFY(QFile::link(canary, root + "/to-canary"));
    QVERIFY(QFile::link(canary, root + "/sub/deep-to-canary"));
    QVERIFY(QFile::link(canary + "/precious.txt", root + "/to-canary-file"));
    QVERIFY(QFile::link(root + "/inside", root + "/to-inside"));
    QVERIFY(QFile::link(root + "/inside/file.txt", root + "/sub/to-sibling-file"));

    QVERIFY(FileHandler::clearDir(root));
    QVERIFY(!QFileInfo::exists(root));
    QCOMPARE(everythingBelow(canary), canaryContent);
}

void TestFileHandler::deepChainIsEmptied()
{
    const QString root = m_tmp.filePath("chain");
    QString relative;
    for (int level = 0; level < 100; ++level)
        relative += QString("level%1/").arg(level);
    QVERIFY(make(root, relative + "bottom.txt"));
    QVERIFY(make(root, "level0/level1/side.txt"));

    QVERIFY(FileHandler::clearDir(root));
    QVERIFY(!QFileInfo::exists(root));
}

void TestFileHandler::fileExist_data()
{
    QTest::addColumn<QString>("dir"); // relative to the fixture
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");

    QTest::newRow("exact name") << "files"
                                << "Model.db" << true;
    QTest::newRow("other letter case") << "files"
                                       << "model.db" << false;
    QTest::newRow("name with space and non-ASCII") << "files"
                                                   << "项目 文件.txt" << true;
    QTest::newRow("link to a file") << "files"
                                    << "link.db" << true;
    QTest::newRow("sub-folder") << "files"
                                << "sub" << false;
    QTest::newRow("hidden file") << "files"
                                 << ".hidden" << false;
    QTest::newRow("path instead of a name") << "files"
                                            << "sub/inner.txt" << false;
    QTest::newRow("missing folder") << "nowhere"
                                    << "Model.db" << false;
}

void TestFileHandler::fileExist()
{
    QFETCH(QString, dir);
    QFETCH(QString, name);
    QFETCH(bool, exists);

    const QString files = m_tmp.filePath("files");
    if (!QFileInfo::exists(files)) {
        for (const char* entry : { "Model.db", "项目 文件.txt", ".hidden", "sub/inner.txt" })
            QVERIFY(make(files, entry));
        QVERIFY(QFile::link(files + "/Model.db", files + "/link.db"));
    }
    QCOMPARE(FileHandler::fileExist(m_tmp.filePath(dir), name), exists);
}

void TestFileHandler::getFileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("absolute file path") << "/work/space/模型 1.Tessel"
                                        << "模型 1.Tessel";
    QTest::newRow("trailing separator") << "/work/space/"
                                        << "";
    QTest::newRow("bare name") << "file.txt"
                               << "file.txt";
    QTest::newRow("empty") << ""
                           << "";
}

void TestFileHandler::getFileName()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    const QString before = path;
    QCOMPARE(FileHandler::getFileName(path), name);
    QCOMPARE(path, before);
}

void TestFileHandler::fileListsGiveAbsolutePaths()
{
    const QString dir = m_tmp.filePath("lists");
    for (const char* entry : { "b.txt", "A.txt", "c.TXT", ".hidden", "sub/inner.txt" })
        QVERIFY(make(dir, entry));

    const QStringList expected { dir + "/A.txt", dir + "/b.txt", dir + "/c.TXT" };
    QCOMPARE(FileHandler::getFileList(dir), expected);
    QCOMPARE(FileHandler::getFilePathList(dir), expected);
}

void TestFileHandler::getFolderListGivesSubfolders()
{
    const QString dir = m_tmp.filePath("folders");
    for (const char* entry : { "Beta/x.txt", "alpha/", ".git/", "file.txt" })
        QVERIFY(make(dir, entry));
    QCOMPARE(FileHandler::getFolderList(dir), (QStringList { dir + "/alpha", dir + "/Beta" }));
}

void TestFileHandler::listingsOfMissingFolders()
{
    for (const QString& dir : { m_tmp.filePath("missing"), QString() }) {
        QVERIFY(FileHandler::getFileList(dir).isEmpty());
        QVERIFY(FileHandler::getFilePathList(dir).isEmpty());
        QVERIFY(FileHandler::getFolderList(dir).isEmpty());
        QVERIFY(!FileHandler::fileExist(dir, "x"));
    }
    const QString empty = m_tmp.filePath("empty-listing");
    QVERIFY(QDir().mkpath(empty));
    QVERIFY(FileHandler::getFileList(empty).isEmpty());
    QVERIFY(FileHandler::getFolderList(empty).isEmpty());
}

void TestFileHandler::dirCreate()
{
    const QString nested = m_tmp.filePath("create/with parents/项目");
    FileHandler::dirCreate(nested);
    QVERIFY(QFileInfo(nested).isDir());

    QVERIFY(make(nested, "kept.txt"));
    FileHandler::dirCreate(nested);
    QCOMPARE(everythingBelow(nested), QStringList { "kept.txt" });
}

void TestFileHandler::dirCreateGivesUp()
{
    const QString file = m_tmp.filePath("plain-file");
    QVERIFY(make(m_tmp.path(), "plain-file"));
    FileHandler::dirCreate(file);
    QVERIFY(QFileInfo(file).isFile());
    FileHandler::dirCreate(file + "/below");
    QVERIFY(!QFileInfo::exists(file + "/below"));
    FileHandler::dirCreate(QString());

    if (isRoot())
        return;
    const QString locked = m_tmp.filePath("locked-parent");
    QVERIFY(QDir().mkpath(locked));
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    FileHandler::dirCreate(locked + "/child");
    QVERIFY(!QFileInfo::exists(locked + "/child"));
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void TestFileHandler::getAllFilePathListLeavesTheList()
{
    const QString dir = m_tmp.filePath("all");
    QVERIFY(make(dir, "x.txt"));
    QStringList list { "keep", "these" };
    FileHandler::getAllFilePathList(dir, list);
    FileHandler::getAllFilePathList(dir, "*.txt", list);
    QCOMPARE(list, (QStringList { "keep", "these" }));
}

QTEST_GUILESS_MAIN(TestFileHandler)
#include "tst_filehandler.moc"
