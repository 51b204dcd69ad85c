// deleteTree as Project::clear uses it on the cache folder: links are removed,
// never followed, a root is never emptied, and false tells what stays.
#include "FakeRoot.h"
#include "FileTree.h"

#include <bimcore/platform/krvcommon/FileSystem.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using FileTree::make;

class TestKrvFileSystem : public QObject
{
    Q_OBJECT

private slots:
    void deleteTreeNeverFollowsLinks_data();
    void deleteTreeNeverFollowsLinks();
    void deleteTreeSaysWhatStays();
    void deleteTreeRefusesTheRoot_data();
    void deleteTreeRefusesTheRoot();

private:
    QTemporaryDir m_tmp;
};

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
    QVERIFY(make(canary, "nested/precious.txt"));
    QString argument = scratch.filePath(linkIsTheArgument ? "link" : "tree");
    if (linkIsTheArgument) {
        QVERIFY(QFile::link(canary, argument));
    } else {
        QVERIFY(make(argument, "sub/file.txt"));
        QVERIFY(QFile::link(canary, argument + "/sub/to-canary"));
        QVERIFY(QFile::link(canary + "/nested/precious.txt", argument + "/to-canary-file"));
    }
    QVERIFY(deleteTree(trailingSeparator ? argument + "/" : argument));
    QVERIFY(!QFileInfo(argument).exists() && !QFileInfo(argument).isSymLink());
    QVERIFY(QFile::exists(canary + "/nested/precious.txt"));
}

void TestKrvFileSystem::deleteTreeSaysWhatStays()
{
    QVERIFY(make(m_tmp.path(), "plain.txt"));
    QVERIFY(!deleteTree(m_tmp.filePath("plain.txt")));
    QVERIFY(QFile::exists(m_tmp.filePath("plain.txt")));
    QVERIFY(!deleteTree(QString()));
    QVERIFY(deleteTree(m_tmp.filePath("missing")));
    if (geteuid() == 0)
        QSKIP("root may delete below a read-only folder");
    const QString root = m_tmp.filePath("stays");
    QVERIFY(make(root, "locked/inner.txt") && make(root, "free.txt"));
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
    const int result = FakeRoot::run(mountPoint.path(), [&path] {
        if (!make("/", "canary.txt") || !make("/", "tmp/inner/canary.txt"))
            return 4;
        int failed = deleteTree(path) ? 1 : 0;
        for (const char* kept : { "/canary.txt", "/tmp/inner/canary.txt" })
            failed |= QFileInfo::exists(kept) ? 0 : 2;
        return failed; // 1: reported as removed, 2: something deleted, 4: no set-up
    });
    if (result == FakeRoot::kUnavailable)
        QSKIP("no user and mount namespaces to give deleteTree a root of its own");
    QCOMPARE(result, 0);
}

QTEST_GUILESS_MAIN(TestKrvFileSystem)
#include "tst_krvfilesystem.moc"
