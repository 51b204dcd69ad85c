// The local central store: the change map the library keeps as its delta, and
// the project folder it leaves after an update or a fault.

#include "FetchRequest.h"
#include "ProjectFolders.h"

#include <bimcore/platform/platformsvc/LocalCentralStore.h>
#include <bimcore/platform/platformsvc/ProjectFolderUpdate.h>

#include <QTemporaryDir>
#include <QtTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace PlatformSvcComm;
using namespace ProjectFolders;

Q_DECLARE_METATYPE(ProjectFolders::Revision)
Q_DECLARE_METATYPE(PlatformSvcComm::TableChangeMap)

class TestLocalCentralStore : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_central; // the project "P-1" in the store
    QString m_project;

    static Record rec(quint64 id, const QString& name, double length)
    {
        return { id, { qint64(id), name, length } };
    }
    static Table segment(std::vector<Record> records)
    {
        return { "segment", { { "id", tdtInt64 }, { "name", tdtString }, { "length", tdtDouble } },
            std::move(records) };
    }
    // Two records, the second named `second`.
    static Table site(const QString& second)
    {
        return { "site", { { "id", tdtInt64 }, { "name", tdtString } },
            { { 1, { 1LL, "a" } }, { 2, { 2LL, second } } } };
    }

    TableChangeMap fetch() const
    {
        return LocalCentralStore(m_dir->filePath("store"))
            .fetch(fetchRequest("P-1", m_project), {});
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

    void reportsChangedRecords_data()
    {
        QTest::addColumn<Revision>("before");
        QTest::addColumn<Revision>("after");
        QTest::addColumn<TableChangeMap>("expected"); // 1 added, 2 changed, 3 removed
        const Revision base {
            segment({ rec(10, "s10", 1.5), rec(11, "s11", 2.5), rec(12, "s12", 3.5) }), site("b")
        };
        // 14 and 15 keep their places; the others move.
        QTest::newRow("changed slightly, added, removed and reordered")
            << Revision { segment({ rec(10, "s10", 1.5), rec(11, "s11", 2.5), rec(12, "s12", 3.5),
                              rec(14, "s14", 4), rec(15, "s15", 5) }),
                   site("b") }
            << Revision { segment({ rec(13, "s13", 0), rec(12, "s12", 3.5000000001),
                              rec(10, "s10", 1.5), rec(14, "s14", 4), rec(15, "s15", 5.5) }),
                   site("b ") }
            << TableChangeMap { { L"segment", { { 11, 3 }, { 12, 2 }, { 13, 1 }, { 15, 2 } } },
                   { L"site", { { 2, 2 } } } };
        QTest::newRow("a table only in one revision")
            << Revision { base[0] } << Revision { site("b") }
            << TableChangeMap { { L"site", { { 1, 1 }, { 2, 1 } } },
                   { L"segment", { { 10, 3 }, { 11, 3 }, { 12, 3 } } } };
        QTest::newRow("local model damaged: nothing to compare with")
            << Revision {} << base << TableChangeMap {};
    }

    void reportsChangedRecords()
    {
        QFETCH(Revision, before);
        QFETCH(Revision, after);
        QFETCH(TableChangeMap, expected);
        writeProject(m_project, before, "old");
        if (before.empty())
            writeBytes(m_project + "/" + kModelFile, QByteArray(5000, 'z'));
        writeProject(m_central, after, "new");
        // The folder keeps its other entries (links as links) and, on POSIX,
        // its mode, whatever the umask of the process that updates it.
        QVERIFY(QDir().mkpath(m_project + "/cache"));
        writeBytes(m_project + "/cache/kept", "kept");
        auto wanted = contents(m_central);
        wanted["cache"] = {};
#ifdef Q_OS_WIN
        const TableChangeMap changes = fetch();
#else
        QCOMPARE(::chmod(QFile::encodeName(m_project).constData(), 02775), 0);
        QVERIFY(QFile::link("cache/kept", m_project + "/link"));
        wanted["link"] = "kept";
        const mode_t umask = ::umask(077);
        const TableChangeMap changes = fetch();
        ::umask(umask);
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(m_project).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(02775));
        QCOMPARE(QFileInfo(m_project + "/link").symLinkTarget(), m_project + "/cache/kept");
#endif
        QVERIFY(changes == expected);
        QCOMPARE(contents(m_project), wanted);
    }

    // Checked before anything is replaced: the local pair stays whole and
    // openable, and the fault names the file.
    void damagedCentralFileLeavesTheFolderAsItWas_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("damage"); // "truncate": the file cut to 8192 bytes
        QTest::newRow("model of random bytes") << kModelFile << QByteArray(5000, 'z');
        QTest::newRow("database of random bytes") << kDatabaseFile << QByteArray(8192, 'z');
        QTest::newRow("database truncated") << kDatabaseFile << QByteArray("truncate");
        QTest::newRow("database empty") << kDatabaseFile << QByteArray();
    }

    void damagedCentralFileLeavesTheFolderAsItWas()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, damage);
        writeProject(m_project, { segment({ rec(1, "x", 1) }) }, "old");
        writeProject(m_central, { segment({ rec(1, "y", 1) }) }, QString(40000, 'n'));
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
        QTest::addColumn<QStringList>("files"); // empty files left
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<bool>("stagedLinks"); // both staged names link outside
        QTest::addColumn<bool>("readOnly"); // the folder cannot be written
        const QString journal = ".bimcore-update";
        const QString stagedModel = "." + kModelFile + ".bimcore-new";
        QTest::newRow("journal, folder read-only") << QStringList { journal } << QStringList {} << false << true;
        QTest::newRow("staged file, folder read-only")
            << QStringList { stagedModel } << QStringList {} << false << true;
        QTest::newRow("journal is a folder") << QStringList {} << QStringList { journal } << false << false;
        QTest::newRow("staged name is a folder")
            << QStringList {} << QStringList { stagedModel } << false << false;
        QTest::newRow("staged links and a journal")
            << QStringList { journal } << QStringList {} << true << false;
    }

    void leftoversNeverBlock()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, folders);
        QFETCH(bool, stagedLinks);
        QFETCH(bool, readOnly);
#ifdef Q_OS_WIN
        if (readOnly || stagedLinks)
            QSKIP("a read-only folder takes new files on Windows, and Wine makes no links");
#else
        if (readOnly && geteuid() == 0)
            QSKIP("root may write into a read-only folder");
#endif
        writeProject(m_project, { segment({ rec(1, "x", 1) }) }, "old");
        const QByteArray pair = readAll(m_project + "/" + kModelFile) + readAll(m_project + "/" + kDatabaseFile);
        for (const QString& name : files)
            writeBytes(m_project + "/" + name, {});
        for (const QString& name : folders)
            QVERIFY(QDir(m_project).mkpath(name + "/inner"));
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
        writeProject(m_central, { segment({ rec(1, "y", 1) }) }, "new");
        fetch();
        QCOMPARE(contents(m_project), contents(m_central));
        if (stagedLinks)
            QCOMPARE(readAll(outside + "/" + kModelFile), QByteArray("outside"));
    }
};

QTEST_GUILESS_MAIN(TestLocalCentralStore)
#include "tst_localcentralstore.moc"
