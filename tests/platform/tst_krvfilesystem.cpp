// deleteTree as Project::clear uses it on the cache folder: links are removed,
// never followed, and false tells what stays. Its walk, shared with
// FileHandler, is tested with FileHandler's (root, races, depth, mounts).
#include "FileTree.h"

#include <bimcore/platform/krvcommon/FileSystem.h>

#include <QtTest>

#include <unistd.h>

using FileTree::make;

class TestKrvFileSystem : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;

private slots:
    void deleteTreeNeverFollowsLinks_data()
    {
        QTest::addColumn<bool>("linkIsTheArgument"); // given with a trailing separator
        QTest::newRow("link inside the tree") << false;
        QTest::newRow("link as the argument, trailing separator") << true;
    }

    void deleteTreeNeverFollowsLinks()
    {
        QFETCH(bool, linkIsTheArgument);
        QTemporaryDir scratch(m_tmp.filePath("links-XXXXXX"));
        const QString canary = scratch.filePath("canary");
        QVERIFY(make(canary, "nested/precious.txt"));
        const QString argument = scratch.filePath(linkIsTheArgument ? "link" : "tree");
        if (linkIsTheArgument)
            QVERIFY(QFile::link(canary, argument));
        else
            QVERIFY(make(argument, "sub/file.txt")
                && QFile::link(canary, argument + "/sub/to-canary")
                && QFile::link(canary + "/nested/precious.txt", argument + "/to-canary-file"));
        QVERIFY(deleteTree(linkIsTheArgument ? argument + "/" : argument));
        QVERIFY(!QFileInfo(argument).exists() && !QFileInfo(argument).isSymLink());
        QVERIFY(QFile::exists(canary + "/nested/precious.txt"));
    }

    void deleteTreeSaysWhatStays()
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
        QFile::setPermissions(
            root + "/locked", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

QTEST_GUILESS_MAIN(TestKrvFileSystem)
#include "tst_krvfilesystem.moc"
