// deleteTree as Project::clear uses it on the cache folder: links are removed,
// never followed, and false tells what stays. Its walk, shared with
// FileHandler, is tested with FileHandler's (root, races, depth, mounts).
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

QTEST_GUILESS_MAIN(TestKrvFileSystem)
#include "tst_krvfilesystem.moc"
