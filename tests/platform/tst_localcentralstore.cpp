// The local central store: the project folder it leaves after a fault, and
// what is left in it never blocking an open. The change map it reports shows
// in the demo host's test.

#include "FetchRequest.h"
#include "ProjectFolders.h"

#include <bimcore/platform/platformsvc/LocalCentralStore.h>
#include <bimcore/platform/platformsvc/ProjectFolderUpdate.h>

#include <QTemporaryDir>
#include <QtTest>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using namespace PlatformSvcComm;
using namespace ProjectFolders;

class TestLocalCentralStore : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_central; // the project "P-1" in the store
    QString m_project;

    // One record, named `name`, so that two revisions differ.
    static Revision revision(const QString& name)
    {
        return { { "segment", { { "id", tdtInt64 }, { "name", tdtString } }, { { 1, { 1LL, name } } } } };
    }
    void fetch() const
    {
        LocalCentralStore(m_dir->filePath("store")).fetch(fetchRequest("P-1", m_project), {});
    }

    // The folder's entries with their bytes.
    QMap<QString, QByteArray> contents(const QString& folder) const
    {
        QMap<QString, QByteArray> files;
        for (const QString& name :
            QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            if (name != QLatin1String(".bimcore-lock")) // the lock file of updates on Windows
                files[name] = readAll(folder + "/" + name);
        return files;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_central = m_dir->filePath("store/P-1");
        m_project = m_dir->filePath("local/P-1");
    }

    // Checked before anything is replaced: the local pair stays whole and
    // openable, and the fault names the file.
    void damagedCentralFileLeavesTheFolderAsItWas_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("damage"); // "truncate": the file cut to 8192 bytes
        QTest::newRow("model of random bytes") << kModelFile << QByteArray(5000, 'z');
        QTest::newRow("database truncated") << kDatabaseFile << QByteArray("truncate");
        QTest::newRow("database empty") << kDatabaseFile << QByteArray();
    }

    void damagedCentralFileLeavesTheFolderAsItWas()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, damage);
        writeProject(m_project, revision("x"), "old");
        writeProject(m_central, revision("y"), QString(40000, 'n'));
        const auto before = contents(m_project);
        const QString damaged = m_central + "/" + file;
        writeBytes(damaged, damage == "truncate" ? readAll(damaged).left(8192) : damage);
        try {
            fetch();
            QFAIL("a damaged central file was taken");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(file), e.what());
        }
        QCOMPARE(contents(m_project), before);
        // On a first fetch no empty folder stays: the host would open it.
        QVERIFY(QDir(m_project).removeRecursively());
        QVERIFY_EXCEPTION_THROWN(fetch(), std::runtime_error);
        QVERIFY(!QFileInfo::exists(m_project));
    }

    // What an update cut off, or anyone else, left in the folder never keeps
    // it from opening: the pair stays as it was, nothing a link leads to is
    // put in place, and the next update goes through.
    void leftoversNeverBlock_data()
    {
        QTest::addColumn<QString>("leftover"); // an empty file, or a folder if it ends in "/"
        QTest::addColumn<bool>("stagedLinks"); // both staged names link outside
        QTest::addColumn<bool>("readOnly"); // the folder cannot be written
        const QString journal = ".bimcore-update";
        const QString stagedModel = "." + kModelFile + ".bimcore-new";
        QTest::newRow("journal, folder read-only") << journal << false << true;
        QTest::newRow("staged file, folder read-only") << stagedModel << false << true;
        QTest::newRow("journal is a folder") << journal + "/" << false << false;
        QTest::newRow("staged name is a folder") << stagedModel + "/" << false << false;
        QTest::newRow("staged links and a journal") << journal << true << false;
    }

    void leftoversNeverBlock()
    {
        QFETCH(QString, leftover);
        QFETCH(bool, stagedLinks);
        QFETCH(bool, readOnly);
#ifdef Q_OS_WIN
        if (readOnly || stagedLinks)
            QSKIP("a read-only folder takes new files on Windows, and Wine makes no links");
#else
        if (readOnly && geteuid() == 0)
            QSKIP("root may write into a read-only folder");
#endif
        writeProject(m_project, revision("x"), "old");
        const QByteArray pair = readAll(m_project + "/" + kModelFile) + readAll(m_project + "/" + kDatabaseFile);
        if (leftover.endsWith('/'))
            QVERIFY(QDir(m_project).mkpath(leftover + "inner"));
        else
            writeBytes(m_project + "/" + leftover, {});
        const QString outside = m_dir->filePath("outside");
        for (const QString& name : stagedLinks ? QStringList { kModelFile, kDatabaseFile } : QStringList {}) {
            QVERIFY(QDir().mkpath(outside));
            writeBytes(QDir(outside).filePath(name), "outside");
            QVERIFY(QFile::link(outside + "/" + name, m_project + "/." + name + ".bimcore-new"));
        }
        if (readOnly)
            QVERIFY(QFile::setPermissions(m_project, QFile::ReadOwner | QFile::ExeOwner));
        try {
            PlatformSvcComm::ProjectFolderUpdate::lockedForReading(m_project);
        } catch (const std::exception& e) {
            QFAIL(e.what());
        }
        QCOMPARE(readAll(m_project + "/" + kModelFile) + readAll(m_project + "/" + kDatabaseFile), pair);
        if (readOnly)
            return void(QFile::setPermissions(m_project, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        writeProject(m_central, revision("y"), "new");
        fetch();
        QCOMPARE(contents(m_project), contents(m_central));
        if (stagedLinks)
            QCOMPARE(readAll(outside + "/" + kModelFile), QByteArray("outside"));
    }
};

QTEST_GUILESS_MAIN(TestLocalCentralStore)
#include "tst_localcentralstore.moc"
