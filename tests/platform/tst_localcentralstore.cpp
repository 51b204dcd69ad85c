// The local central store: the change map the library keeps as its delta, and
// the project folder it leaves after an update, a fault or an interrupted one.

#include "FetchRequest.h"
#include "ProjectFolders.h"

#include <bimcore/platform/ksqlite/KSqlDatabase.h>
#include <bimcore/platform/platformsvc/LocalCentralStore.h>
#include <bimcore/platform/platformsvc/ProjectFolderUpdate.h>

#include <QTemporaryDir>
#include <QtTest>

using namespace PlatformSvcComm;
using namespace ProjectFolders;

Q_DECLARE_METATYPE(ProjectFolders::Revision)
Q_DECLARE_METATYPE(PlatformSvcComm::TableChangeMap)

namespace {

Record rec(quint64 id, const QString& name, double length)
{
    return { id, { qint64(id), name, length } };
}

Table segment(std::vector<Record> records)
{
    return { "segment", { { "id", tdtInt64 }, { "name", tdtString }, { "length", tdtDouble } },
        std::move(records) };
}

Table site(const QString& second)
{
    return { "site", { { "id", tdtInt64 }, { "name", tdtString } },
        { { 1, { 1LL, "a" } }, { 2, { 2LL, second } } } };
}

// The project files and one other entry of the folder, with their bytes.
QMap<QString, QByteArray> contents(const QString& folder)
{
    QMap<QString, QByteArray> files;
    for (const QString& name : { kModelFile, kDatabaseFile, QStringLiteral("cache/kept") })
        files[name] = readAll(folder + "/" + name);
    return files;
}

// What lies beside the project folder: nothing but the folder once all is done.
QStringList besides(const QString& folder)
{
    return QDir(QFileInfo(folder).path())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestLocalCentralStore : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_store;
    QString m_central; // the project "P-1" in the store
    QString m_project;

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = m_dir->filePath("store");
        m_central = m_store + "/P-1";
        m_project = m_dir->filePath("local/P-1");
    }

    void reportsChangedRecords_data()
    {
        QTest::addColumn<Revision>("before");
        QTest::addColumn<Revision>("after");
        QTest::addColumn<TableChangeMap>("expected"); // 1 added, 2 changed, 3 removed
        QTest::addColumn<bool>("wal"); // model files that SQLite, not the direct read, must read
        const Revision base {
            segment({ rec(10, "s10", 1.5), rec(11, "s11", 2.5), rec(12, "s12", 3.5) }), site("b")
        };
        QTest::newRow("model files in WAL mode")
            << base << Revision { segment({ rec(12, "s12", 3.5), rec(10, "s10", 1.0) }), site("b") }
            << TableChangeMap { { L"segment", { { 10, 2 }, { 11, 3 } } } } << true;
        QTest::newRow("changed slightly, added, removed and reordered")
            << base
            << Revision { segment({ rec(13, "s13", 0), rec(12, "s12", 3.5000000001),
                              rec(10, "s10", 1.5) }),
                   site("b ") }
            << TableChangeMap { { L"segment", { { 11, 3 }, { 12, 2 }, { 13, 1 } } },
                   { L"site", { { 2, 2 } } } }
            << false;
        QTest::newRow("a table only in one revision")
            << Revision { base[0] } << Revision { site("b") }
            << TableChangeMap { { L"site", { { 1, 1 }, { 2, 1 } } },
                   { L"segment", { { 10, 3 }, { 11, 3 }, { 12, 3 } } } }
            << false;
        // Long texts spill onto overflow pages; thousands of records need
        // interior b-tree pages.
        std::vector<Record> many;
        for (quint64 id = 1; id <= 6000; ++id)
            many.push_back(rec(
                id, QString(id % 1000 == 0 ? 9000 : 20, QChar('a' + int(id % 26))), double(id)));
        std::vector<Record> changed = many;
        changed[999].values[1]
            = QString(8999, QChar('a' + 1000 % 26)) + 'z'; // id 1000: last letter
        changed[2999].values[2] = -1.0; // id 3000
        changed.erase(changed.begin() + 4999); // id 5000
        changed.push_back(rec(7000, QString(9000, 'n'), 1));
        QTest::newRow("overflow pages and interior pages")
            << Revision { segment(many) } << Revision { segment(changed) }
            << TableChangeMap { { L"segment",
                   { { 1000, 2 }, { 3000, 2 }, { 5000, 3 }, { 7000, 1 } } } }
            << false;
    }

    void reportsChangedRecords()
    {
        QFETCH(Revision, before);
        QFETCH(Revision, after);
        QFETCH(TableChangeMap, expected);
        QFETCH(bool, wal);
        writeProject(m_project, before, "old");
        writeProject(m_central, after, "new");
        for (const QString& folder : wal ? QStringList { m_project, m_central } : QStringList {})
            KSQLite::KSqlDatabase((folder + "/" + kModelFile).toStdString(), SQLITE_OPEN_READWRITE)
                .exec("PRAGMA journal_mode=WAL");
        // SQLite alone comes to the same answer.
        qputenv("BIMCORE_COMPARE_PLAIN", "1");
        QVERIFY(compareModelFiles(m_project + "/" + kModelFile, m_central + "/" + kModelFile)
            == expected);
        qunsetenv("BIMCORE_COMPARE_PLAIN");
        // The folder's other entries stay as they are, links as links.
        writeProject(m_project + "/cache", before, "kept");
        QVERIFY(QFile::rename(m_project + "/cache/" + kModelFile, m_project + "/cache/kept"));
        QVERIFY(QFile::link("cache/kept", m_project + "/link"));
        auto wanted = contents(m_central);
        wanted["cache/kept"] = readAll(m_project + "/cache/kept");

        const long fallbacks = directScanFallbacks();
        QVERIFY(LocalCentralStore(m_store).fetch(fetchRequest("P-1", m_project), {}) == expected);
        QCOMPARE(directScanFallbacks() > fallbacks, wal);
        QCOMPARE(contents(m_project), wanted);
        QCOMPARE(QFileInfo(m_project + "/link").symLinkTarget(), m_project + "/cache/kept");
        QCOMPARE(besides(m_project), QStringList { "P-1" });
    }

    void faultsLeaveTheFolderAlone_data()
    {
        QTest::addColumn<QString>("message");
        QTest::newRow("project not in the store") << "is not in the central store";
        QTest::newRow("central model is damaged") << "The model file";
    }

    void faultsLeaveTheFolderAlone()
    {
        QFETCH(QString, message);
        const QString fault = QTest::currentDataTag();
        writeProject(m_project, { segment({ rec(1, "x", 1) }) }, "old");
        writeProject(m_central, { segment({ rec(1, "y", 1) }) }, "new");
        const auto before = contents(m_project);
        if (fault == "central model is damaged")
            writeBytes(m_central + "/" + kModelFile, QByteArray(5000, 'z'));
        QString caught;
        try {
            const QString key = fault == "project not in the store" ? "P-2" : "P-1";
            LocalCentralStore(m_store).fetch(fetchRequest(key, m_project), {});
        } catch (const std::exception& e) {
            caught = QString::fromUtf8(e.what());
        }
        QVERIFY2(caught.contains(message), qPrintable(caught));
        QCOMPARE(contents(m_project), before);
        QCOMPARE(besides(m_project), QStringList { "P-1" });
    }

    // What a killed update can leave beside the project folder, and which
    // revision the folder must hold once the next update has started.
    void interruptedUpdateIsRepaired_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QStringList>("leftovers");
        QTest::addColumn<QString>("expected");
        QTest::newRow("staging half written") << true << QStringList { "staging" } << "current";
        QTest::newRow("swapped, old contents not yet removed")
            << true << QStringList { "ready" } << "current";
        QTest::newRow("moved aside, ready folder waiting")
            << false << QStringList { "ready", "old" } << "ready";
        QTest::newRow("moved aside, nothing staged") << false << QStringList { "old" } << "old";
        QTest::newRow("first fetch, staged but not in place")
            << false << QStringList { "ready" } << "ready";
        QTest::newRow("first fetch, staging half written")
            << false << QStringList { "staging" } << "none";
    }

    void interruptedUpdateIsRepaired()
    {
        QFETCH(bool, folder);
        QFETCH(QStringList, leftovers);
        QFETCH(QString, expected);
        QMap<QString, QByteArray> databases; // by the revision's marker
        if (folder)
            writeProject(m_project, { segment({}) }, "current");
        databases["current"] = readAll(m_project + "/" + kDatabaseFile);
        for (const QString& leftover : leftovers) {
            const QString path = QFileInfo(m_project).path() + "/.P-1.bimcore-" + leftover;
            writeProject(path, { segment({}) }, leftover);
            databases[leftover] = readAll(path + "/" + kDatabaseFile);
            if (leftover == "staging")
                QVERIFY(QFile::resize(path + "/" + kModelFile, 100)); // half written
        }
        ProjectFolderUpdate { m_project };
        QCOMPARE(readAll(m_project + "/" + kDatabaseFile), databases.value(expected));
        QCOMPARE(besides(m_project), expected == "none" ? QStringList {} : QStringList { "P-1" });
    }
};

QTEST_GUILESS_MAIN(TestLocalCentralStore)
#include "tst_localcentralstore.moc"
