// deleteTree as Project::clear uses it on the cache folder: links are removed,
// never followed, and false tells what stays. Its walk, shared with
// FileHandler, is tested with FileHandler's (root, races, depth, mounts).
#include "FileTree.h"

#include <bimcore/platform/krvcommon/FileSystem.h>

#include <QtTest>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using FileTree::make;
using FileTree::makeLink;

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
        if (!FileTree::linksWork(m_tmp.path()))
            QSKIP(FileTree::kNoLinks);
        QTemporaryDir scratch(m_tmp.filePath("links-XXXXXX"));
        const QString canary = scratch.filePath("canary");
        QVERIFY(make(canary, "nested/precious.txt"));
        const QString argument = scratch.filePath(linkIsTheArgument ? "link" : "tree");
        if (linkIsTheArgument)
            QVERIFY(makeLink(canary, argument));
        else
            QVERIFY(make(argument, "sub/file.txt")
                && makeLink(canary, argument + "/sub/to-canary")
                && makeLink(canary + "/nested/precious.txt", argument + "/to-canary-file"));
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
        const QString root = m_tmp.filePath("stays");
        QVERIFY(make(root, "locked/inner.txt") && make(root, "free.txt"));
#ifdef Q_OS_WIN
        // On Windows read-only entries go; what another handle holds without
        // sharing its deletion stays (QFile shares reading and writing only).
        QVERIFY(make(root, "read-only/inner.txt"));
        QVERIFY(QFile::setPermissions(root + "/read-only/inner.txt", QFile::ReadOwner));
        QFile holder(root + "/locked/inner.txt");
        QVERIFY(holder.open(QIODevice::ReadOnly));
        QVERIFY(!deleteTree(root));
        holder.close();
        QVERIFY(!QFileInfo::exists(root + "/free.txt"));
        // Wine keeps a read-only file as one without write permission, which
        // only root may open to clear the attribute; Windows lets anyone who
        // may delete it.
        if (!FileTree::underWine())
            QVERIFY(!QFileInfo::exists(root + "/read-only"));
#else
        if (geteuid() == 0)
            QSKIP("root may delete below a read-only folder");
        QVERIFY(QFile::setPermissions(root + "/locked", QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(!deleteTree(root));
        QFile::setPermissions(
            root + "/locked", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
        QVERIFY(QFile::exists(root + "/locked/inner.txt"));
    }
};

QTEST_GUILESS_MAIN(TestKrvFileSystem)
#include "tst_krvfilesystem.moc"
