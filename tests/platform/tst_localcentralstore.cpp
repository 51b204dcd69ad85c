// The local central store: which records it reports as changed, what it does
// with the local project folder, and how it reports faults.

#include "FetchRequest.h"
#include "ProjectFolders.h"

#include <platformsvc/LocalCentralStore.h>
#include <platformsvc/ProjectFolderUpdate.h>

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace PlatformSvcComm;
using namespace ProjectFolders;

Q_DECLARE_METATYPE(ProjectFolders::Revision)
Q_DECLARE_METATYPE(PlatformSvcComm::TableChangeMap)

namespace {

const Field kId { QStringLiteral("id"), tdtInt64 };
const Field kName { QStringLiteral("name"), tdtString };
const Field kLength { QStringLiteral("length"), tdtDouble };

Record rec(quint64 id, const QString& name, double length)
{
    return { id, { QVariant::fromValue<qint64>(qint64(id)), name, length } };
}

Table segment(std::vector<Record> records)
{
    return { QStringLiteral("segment"), { kId, kName, kLength }, std::move(records) };
}

// Both project files of the two folders hold the same bytes.
bool sameProject(const QString& a, const QString& b)
{
    return readAll(a + "/" + kModelFile) == readAll(b + "/" + kModelFile)
        && readAll(a + "/" + kDatabaseFile) == readAll(b + "/" + kDatabaseFile)
        && !readAll(a + "/" + kDatabaseFile).isEmpty();
}

QStringList siblingsOf(const QString& folder)
{
    return QDir(QFileInfo(folder).path())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestLocalCentralStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = m_dir->filePath("store");
        m_central = m_store + "/P-1";
        m_project = m_dir->filePath("local/P-1");
    }
    void reportsChangedRecords_data();
    void reportsChangedRecords();
    void firstFetchCreatesTheFolder();
    void faultsLeaveTheFolderAlone_data();
    void faultsLeaveTheFolderAlone();
    void interruptedUpdateIsRepaired_data();
    void interruptedUpdateIsRepaired();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_store;
    QString m_central; // the project "P-1" in the store
    QString m_project;
};

void TestLocalCentralStore::reportsChangedRecords_data()
{
    QTest::addColumn<Revision>("before");
    QTest::addColumn<Revision>("after");
    QTest::addColumn<TableChangeMap>("expected");
    QTest::addColumn<bool>("wal"); // model files that SQLite, not the direct read, must read

    const Table site { QStringLiteral("site"), { kId, kName },
        { { 1, { 1LL, "a" } }, { 2, { 2LL, "b" } } } };
    const Revision base {
        segment({ rec(10, "s10", 1.5), rec(11, "s11", 2.5), rec(12, "s12", 3.5) }), site
    };

    QTest::newRow("identical revisions") << base << base << TableChangeMap {} << false;
    QTest::newRow("model files in WAL mode")
        << base << Revision { segment({ rec(12, "s12", 3.5), rec(10, "s10", 1.0) }), site }
        << TableChangeMap { { L"segment", { { 10, RecordChanged }, { 11, RecordRemoved } } } }
        << true;
    QTest::newRow("changed, added, removed and reordered in one table")
        << base
        << Revision { segment({ rec(13, "s13", 0), rec(12, "s12", 3.25), rec(10, "s10", 1.5) }),
               site }
        << TableChangeMap { { L"segment",
               { { 11, RecordRemoved }, { 12, RecordChanged }, { 13, RecordAdded } } } }
        << false;
    QTest::newRow("a text and a number that differ only slightly")
        << base
        << Revision { segment({ rec(10, "s10 ", 1.5), rec(11, "s11", 2.5000000001),
                          rec(12, "s12", 3.5) }),
               site }
        << TableChangeMap { { L"segment", { { 10, RecordChanged }, { 11, RecordChanged } } } }
        << false;
    QTest::newRow("table only in the new revision")
        << Revision { base[0] } << base
        << TableChangeMap { { L"site", { { 1, RecordAdded }, { 2, RecordAdded } } } } << false;
    QTest::newRow("table only in the old revision")
        << base << Revision { base[0] }
        << TableChangeMap { { L"site", { { 1, RecordRemoved }, { 2, RecordRemoved } } } } << false;
    QTest::newRow("changes in several tables")
        << base
        << Revision { segment({ rec(10, "s10", 1.5), rec(11, "s11", 2.5) }),
               Table { QStringLiteral("site"), { kId, kName },
                   { { 1, { 1LL, "a" } }, { 2, { 2LL, "B" } } } } }
        << TableChangeMap { { L"segment", { { 12, RecordRemoved } } },
               { L"site", { { 2, RecordChanged } } } }
        << false;
    {
        // Long texts spill onto overflow pages; thousands of records need
        // interior b-tree pages.
        std::vector<Record> many;
        for (quint64 id = 1; id <= 6000; ++id)
            many.push_back(rec(
                id, QString(id % 1000 == 0 ? 9000 : 20, QChar('a' + int(id % 26))), double(id)));
        std::vector<Record> changed = many;
        changed[999].values[1]
            = QString(8999, QChar('a' + 1000 % 26)) + 'z'; // id 1000: long text, last letter
        changed[2999].values[2] = -1.0; // id 3000
        changed.erase(changed.begin() + 4999); // id 5000 removed
        changed.push_back(rec(7000, QString(9000, 'n'), 1));
        QTest::newRow("overflow pages and interior pages")
            << Revision { segment(many) } << Revision { segment(changed) }
            << TableChangeMap { { L"segment",
                   { { 1000, RecordChanged }, { 3000, RecordChanged }, { 5000, RecordRemoved },
                       { 7000, RecordAdded } } } }
            << false;
    }
    QTest::newRow("a field added: every record changed")
        << base
        << Revision { base[0],
               Table { QStringLiteral("site"), { kId, kName, kLength },
                   { { 1, { 1LL, "a", 0.0 } }, { 2, { 2LL, "b", 0.0 } } } } }
        << TableChangeMap { { L"site", { { 1, RecordChanged }, { 2, RecordChanged } } } } << false;
}

void TestLocalCentralStore::reportsChangedRecords()
{
    QFETCH(Revision, before);
    QFETCH(Revision, after);
    QFETCH(TableChangeMap, expected);
    QFETCH(bool, wal);

    writeProject(m_project, before, "old");
    writeProject(m_central, after, "new");
    for (const QString& folder : wal ? QStringList { m_project, m_central } : QStringList {}) {
        sqlite3* db = nullptr;
        const QByteArray model = QFile::encodeName(folder + "/" + kModelFile);
        QCOMPARE(sqlite3_open(model.constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    // The folder's other entries stay as they are.
    QVERIFY(QDir().mkpath(m_project + "/cache"));
    QVERIFY(QFile::copy(m_project + "/" + kModelFile, m_project + "/cache/kept"));
    QVERIFY(QFile::link("cache/kept", m_project + "/link"));
    const QByteArray kept = readAll(m_project + "/cache/kept");
    // SQLite alone must come to the same answer.
    qputenv("BIMCORE_COMPARE_PLAIN", "1");
    const TableChangeMap plain
        = compareModelFiles(m_project + "/" + kModelFile, m_central + "/" + kModelFile);
    qunsetenv("BIMCORE_COMPARE_PLAIN");
    QVERIFY(plain == expected);
    const long fallbacks = directScanFallbacks();
    const TableChangeMap changes
        = LocalCentralStore(m_store).fetch(fetchRequest("P-1", m_project), {});
    QCOMPARE(directScanFallbacks() > fallbacks, wal);
    QVERIFY(changes == expected);
    QVERIFY(sameProject(m_project, m_central));
    QCOMPARE(readAll(m_project + "/link"), kept);
    QCOMPARE(QFileInfo(m_project + "/link").symLinkTarget(), m_project + "/cache/kept");
    QCOMPARE(siblingsOf(m_project), QStringList { "P-1" });
}

void TestLocalCentralStore::firstFetchCreatesTheFolder()
{
    writeProject(m_central, { projectTable(9), segment({ rec(1, "x", 1) }) }, "new");
    const QString deep = m_dir->filePath("a/b/c/P-1");
    std::vector<double> percents;
    const TableChangeMap changes = LocalCentralStore(m_store).fetch(
        fetchRequest("P-1", deep), [&percents](const std::wstring& text, double percent) {
            QVERIFY(!text.empty());
            percents.push_back(percent);
        });
    QVERIFY(changes.empty());
    QVERIFY(sameProject(deep, m_central));
    QCOMPARE(siblingsOf(deep), QStringList { "P-1" });
    QVERIFY(percents.size() >= 3);
    QVERIFY(std::is_sorted(percents.begin(), percents.end()));
    QCOMPARE(percents.back(), 100.0);
}

void TestLocalCentralStore::faultsLeaveTheFolderAlone_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("project not in the store") << "missing"
                                              << "Project \"P-2\" is not in the central store";
    QTest::newRow("store holds only the model") << "half"
                                                << "is not in the central store";
    QTest::newRow("no store configured") << "unset"
                                         << "No central store is configured";
    QTest::newRow("store is a file") << "file"
                                     << "cannot be read";
    QTest::newRow("store cannot be read") << "unreadable"
                                          << "cannot be read";
    QTest::newRow("key climbs out of the store") << "key"
                                                 << "is not a valid project key";
    QTest::newRow("central model is damaged") << "damaged"
                                              << "The model file";
    QTest::newRow("local folder cannot be written") << "readonly"
                                                    << "Cannot create the folder";
}

void TestLocalCentralStore::faultsLeaveTheFolderAlone()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);

    writeProject(m_project, { segment({ rec(1, "x", 1) }) }, "old");
    writeProject(m_dir->filePath("before"), { segment({ rec(1, "x", 1) }) }, "old");
    writeProject(m_central, { segment({ rec(1, "y", 1) }) }, "new");

    QString store = m_store;
    QString key = "P-1";
    if (fault == "missing") {
        key = "P-2";
    } else if (fault == "half") {
        QVERIFY(QFile::remove(m_central + "/" + kDatabaseFile));
    } else if (fault == "unset") {
        store.clear();
        qunsetenv("BIMCORE_CENTRAL_STORE");
    } else if (fault == "file") {
        store = m_central + "/" + kModelFile;
    } else if (fault == "unreadable") {
        if (geteuid() == 0)
            QSKIP("root reads every folder");
        QVERIFY(::chmod(QFile::encodeName(m_store).constData(), 0) == 0);
    } else if (fault == "key") {
        key = "../store/P-1";
    } else if (fault == "readonly") {
        if (geteuid() == 0)
            QSKIP("root writes into every folder");
        QVERIFY(::chmod(QFile::encodeName(QFileInfo(m_project).path()).constData(), 0555) == 0);
    } else if (fault == "damaged") {
        QFile model(m_central + "/" + kModelFile);
        QVERIFY(model.open(QIODevice::WriteOnly | QIODevice::Truncate));
        model.write(QByteArray(5000, 'z'));
    }

    QString caught;
    try {
        LocalCentralStore(store).fetch(fetchRequest(key, m_project), {});
    } catch (const std::exception& e) {
        caught = QString::fromUtf8(e.what());
    }
    ::chmod(QFile::encodeName(m_store).constData(), 0755);
    ::chmod(QFile::encodeName(QFileInfo(m_project).path()).constData(), 0755);
    QVERIFY2(caught.contains(message), qPrintable(caught));
    QVERIFY(sameProject(m_project, m_dir->filePath("before")));
    QCOMPARE(siblingsOf(m_project), QStringList { "P-1" });
}

void TestLocalCentralStore::interruptedUpdateIsRepaired_data()
{
    // What a killed update can leave beside the project folder, and which
    // revision the folder must hold once the next update has started.
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

void TestLocalCentralStore::interruptedUpdateIsRepaired()
{
    QFETCH(bool, folder);
    QFETCH(QStringList, leftovers);
    QFETCH(QString, expected);

    const QString parent = QFileInfo(m_project).path();
    QMap<QString, QByteArray> databases; // by the revision's marker
    if (folder)
        writeProject(m_project, { segment({}) }, "current");
    databases["current"] = readAll(m_project + "/" + kDatabaseFile);
    for (const QString& leftover : leftovers) {
        const QString path = parent + "/.P-1.bimcore-" + leftover;
        writeProject(path, { segment({}) }, leftover);
        databases[leftover] = readAll(path + "/" + kDatabaseFile);
        if (leftover == "staging")
            QVERIFY(QFile::resize(path + "/" + kModelFile, 100)); // half written
    }
    {
        ProjectFolderUpdate repair(m_project);
    }
    QCOMPARE(readAll(m_project + "/" + kDatabaseFile), databases.value(expected));
    QCOMPARE(siblingsOf(m_project), expected == "none" ? QStringList {} : QStringList { "P-1" });
}

QTEST_GUILESS_MAIN(TestLocalCentralStore)
#include "tst_localcentralstore.moc"
