#include "FakeRoot.h"
#include "FileTree.h"

#include <krvcommon/FileSystem.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using FileTree::make;

class TestKrvFileSystem : public QObject
{
    Q_OBJECT

private slots:
    void existence_data();
    void existence();
    void deleteTreeRemovesEverything();
    void deleteTreeNeverFollowsLinks_data();
    void deleteTreeNeverFollowsLinks();
    void deleteTreeReportsWhatStays();
    void deleteTreeRefusesTheRoot_data();
    void deleteTreeRefusesTheRoot();

private:
    QTemporaryDir m_tmp;
};

void TestKrvFileSystem::existence_data()
{
    QTest::addColumn<QString>("path"); // relative to the fixture; "" is the empty path
    QTest::addColumn<bool>("directory");
    QTest::addColumn<bool>("file");

    QTest::newRow("folder") << "project" << true << false;
    QTest::newRow("folder with trailing separator") << "project/" << true << false;
    QTest::newRow("file") << "project/模型 1.db" << false << true;
    QTest::newRow("link to a folder") << "link-dir" << true << false;
    QTest::newRow("link to a file") << "link-file" << false << true;
    QTest::newRow("missing") << "project/missing" << false << false;
    QTest::newRow("empty path") << "" << false << false;
}

void TestKrvFileSystem::existence()
{
    QFETCH(QString, path);
    QFETCH(bool, directory);
    QFETCH(bool, file);

    if (!QFileInfo::exists(m_tmp.filePath("project"))) {
        QVERIFY(make(m_tmp.path(), "project/模型 1.db"));
        QVERIFY(QFile::link(m_tmp.filePath("project"), m_tmp.filePath("link-dir")));
        QVERIFY(QFile::link(m_tmp.filePath("project/模型 1.db"), m_tmp.filePath("link-file")));
    }
    const QString full = path.isEmpty() ? QString() : m_tmp.path() + "/" + path;
    QCOMPARE(directoryExists(full), directory);
    QCOMPARE(fileExists(full), file);
}

void TestKrvFileSystem::deleteTreeRemovesEverything()
{
    const QString root = m_tmp.filePath("tree");
    for (const char* entry : { "a/b/c/deep.txt", ".hidden", "with space/x", "line\nbreak", "空/" })
        QVERIFY(make(root, entry));
    QVERIFY(deleteTree(root + "/"));
    QVERIFY(!QFileInfo::exists(root));
    QVERIFY(deleteTree(root)); // nothing there: nothing to do
    QVERIFY(make(m_tmp.path(), "plain.txt"));
    QVERIFY(!deleteTree(m_tmp.filePath("plain.txt")));
    QVERIFY(QFile::exists(m_tmp.filePath("plain.txt")));
    QVERIFY(!deleteTree(QString()));
}

void TestKrvFileSystem::deleteTreeNeverFollowsLinks_data()
{
    QTest::addColumn<bool>("linkIsTheArgument");
    QTest::addColumn<bool>("trailingSeparator");
    QTest::newRow("link inside the tree") << false << false;
    QTest::newRow("link as the argument") << true << false;
    QTest::newRow("link as the argument, trailing separator") << true << true;
}

void TestKrvFileSystem::deleteTreeNeverFollowsLinks()
{
    QFETCH(bool, linkIsTheArgument);
    QFETCH(bool, trailingSeparator);

    QTemporaryDir scratch(m_tmp.filePath("links-XXXXXX"));
    const QString canary = scratch.filePath("canary");
    QVERIFY(make(canary, "precious.txt"));
    QVERIFY(make(canary, "nested/precious.txt"));

    QString argument;
    if (linkIsTheArgument) {
        argument = scratch.filePath("link");
        QVERIFY(QFile::link(canary, argument));
    } else {
        argument = scratch.filePath("tree");
        QVERIFY(make(argument, "sub/file.txt"));
        QVERIFY(QFile::link(canary, argument + "/sub/to-canary"));
        QVERIFY(QFile::link(canary + "/precious.txt", argument + "/to-canary-file"));
    }

    QVERIFY(deleteTree(trailingSeparator ? argument + "/" : argument));
    QVERIFY(!QFileInfo(argument).exists() && !QFileInfo(argument).isSymLink());
    QVERIFY(QFile::exists(canary + "/precious.txt"));
    QVERIFY(QFile::exists(canary + "/nested/precious.txt"));
}

void TestKrvFileSystem::deleteTreeReportsWhatStays()
{
    if (geteuid() == 0)
        QSKIP("root may delete below a read-only folder");
    const QString root = m_tmp.filePath("stays");
    QVERIFY(make(root, "locked/inner.txt"));
    QVERIFY(make(root, "free.txt"));
    QVERIFY(QFile::setPermissions(root + "/locked", QFile::ReadOwner | QFile::ExeOwner));

    QVERIFY(!deleteTree(root));
    QVERIFY(QFile::exists(root + "/locked/inner.txt"));
    QVERIFY(QFile::setPermissions(
        root + "/locked", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void TestKrvFileSystem::deleteTreeRefusesTheRoot_data()
{
    QTest::addColumn<QString>("path"); // inside a child whose "/" is a tmpfs of its own
    QTest::newRow("root") << "/";
    QTest::newRow("doubled separator") << "//";
    QTest::newRow("parent of a top folder") << "/tmp/..";
    QTest::newRow("current folder at the root") << ".";
}

void TestKrvFileSystem::deleteTreeRefusesTheRoot()
{
    if (geteuid() == 0)
        QSKIP("root could delete anything, should the sandbox give way");
    QFETCH(QString, path);
    QTemporaryDir mountPoint(m_tmp.filePath("root-XXXXXX"));
    enum
    {
        kRemoved = 1,
        kDeleted = 2,
        kSetUp = 4
    };
    const int result = FakeRoot::run(mountPoint.path(), [&path] {
        if (!make("/", "canary.txt") || !make("/", "tmp/inner/canary.txt"))
            return int(kSetUp);
        int failed = deleteTree(path) ? kRemoved : 0;
        for (const char* kept : { "/canary.txt", "/tmp/inner/canary.txt" })
            failed |= QFileInfo::exists(kept) ? 0 : kDeleted;
        return failed;
    });
    if (result == FakeRoot::kUnavailable)
        QSKIP("no user and mount namespaces to give deleteTree a root of its own");
    QCOMPARE(result, 0);
}

QTEST_GUILESS_MAIN(TestKrvFileSystem)
#include "tst_krvfilesystem.moc"
