// The SQLite wrapper as the library and the tools use it: opening the
// project's database, statements, table handles by name, and what stays safe
// once the database is closed.
#include <bimcore/platform/ksqlite/KSQLite.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>
#include <memory>
#include <sqlite3.h>

using namespace KSQLite;

Q_DECLARE_METATYPE(std::string)

namespace {

// The error code of what the call raised; -1 when it raised nothing.
template <class Call> int raisedCode(Call call)
{
    try {
        call();
    } catch (const KSqlException& error) {
        return error.errorCode();
    }
    return -1;
}

std::unique_ptr<KSqlDatabase> memoryDb(const std::string& sql)
{
    auto db = std::make_unique<KSqlDatabase>();
    db->Open(":memory:", true);
    db->exec(sql);
    return db;
}

} // namespace

class KSqliteTest : public QObject
{
    Q_OBJECT

private slots:
    // Opening a file that went away creates nothing, and the database that
    // was open before is closed.
    void failedOpenCreatesNothing()
    {
        QTemporaryDir dir;
        const std::string path = dir.filePath("模型.db").toStdString();
        KSqlDatabase(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE).exec("CREATE TABLE t (x)");
        KSqlDatabase db;
        QVERIFY(db.Open(path, true) && db.path() == path);
        const std::string missing = dir.filePath("missing.db").toStdString();
        try {
            db.Open(missing, true);
            QFAIL("opening a missing file should have raised");
        } catch (const KSqlException& error) {
            QCOMPARE(error.errorCode(), 14);
            QVERIFY2(error.msg().find(missing) != std::string::npos, error.what());
        }
        QVERIFY(!db.isOpen() && db.path().empty() && db.handle() == nullptr);
        QVERIFY(!QFileInfo::exists(QString::fromStdString(missing)));
        QCOMPARE(raisedCode([&] { db.exec("SELECT 1"); }), 21);
    }

    void statementsKeepValuesExactAndRefuseMisuse()
    {
        const auto db = memoryDb("CREATE TABLE v (big, d, t)");
        const std::string text = "墙 \"Wall\" 'x'; DROP TABLE v; --";
        KSqlStatement insert(*db, "INSERT INTO v VALUES (?, ?, ?)");
        insert.bindInt64(1, std::numeric_limits<std::int64_t>::max());
        insert.bindDouble(2, -0.125e-300);
        insert.bindText(3, text);
        QCOMPARE(insert.execute(), 1);

        KSqlStatement select(*db, "SELECT * FROM v");
        QCOMPARE(raisedCode([&] { select.getInt(0); }), 21); // before the first step
        QVERIFY(select.step());
        QCOMPARE(select.getInt64(0), std::numeric_limits<std::int64_t>::max());
        QCOMPARE(select.getDouble(1), -0.125e-300);
        QCOMPARE(select.getText(select.columnIndex("T")), text);
        QVERIFY(!select.step());
        QVERIFY_EXCEPTION_THROWN(select.getInt(0), KSqlException);
        // A second statement would silently never run.
        QVERIFY(raisedCode([&] { KSqlStatement(*db, "SELECT 1; DELETE FROM v"); }) != -1);
    }

    // The project hands out tables by the host's name: quoted, never run as SQL.
    void tablesByName_data()
    {
        QTest::addColumn<std::string>("tableName");
        QTest::addColumn<bool>("exists");
        QTest::newRow("double quotes") << std::string("say \"hi\"") << true;
        QTest::newRow("SQL in the name") << std::string("t\"; DROP TABLE v; --") << true;
        QTest::newRow("SQL in a missing name") << std::string("v\"; DROP TABLE v; --") << false;
    }

    void tablesByName()
    {
        QFETCH(std::string, tableName);
        QFETCH(bool, exists);
        const auto db = memoryDb("CREATE TABLE v (x)");
        if (exists) {
            const std::string quoted = quoteIdentifier(tableName);
            db->exec("CREATE TABLE " + quoted + " (id INTEGER, \"名称\" TEXT)");
            db->exec("INSERT INTO " + quoted + " VALUES (1, 'a'), (2, 'b')");
        }

        const KSqlTable table(db.get(), tableName, false);
        QCOMPARE(table.isValid(), exists);
        QCOMPARE(table.rowCount(), std::int64_t(exists ? 2 : 0));
        KSqlStatement rows = table.rows();
        QCOMPARE(rows.step(), exists);
        if (exists)
            QCOMPARE(rows.getText(table.columnIndex("名称")), std::string("a"));
        QCOMPARE(KSqlTable(db.get(), "v", true).columnNames(), std::vector<std::string> { "x" });
    }

    // A host may keep tables and statements past the project's close.
    void handlesOutliveTheDatabase()
    {
        auto db = memoryDb("CREATE TABLE element_type (id INTEGER); INSERT INTO element_type "
                           "VALUES (1), (2)");
        const KSqlTable table(db.get(), "ELEMENT_TYPE", false);
        db->exec("INSERT INTO element_type VALUES (3)");
        QCOMPARE(table.rowCount(), std::int64_t(3));
        KSqlStatement rows = table.rows();
        QVERIFY(rows.step());
        KSqlStatement select(*db, "SELECT id FROM element_type");
        db->Close();
        QCOMPARE(raisedCode([&] { table.rowCount(); }), 21);
        QVERIFY_EXCEPTION_THROWN(rows.step(), KSqlException);
        db.reset();
        QVERIFY_EXCEPTION_THROWN(table.rows(), KSqlException);
        QCOMPARE(raisedCode([&] { select.step(); }), 21);
    }
};

QTEST_GUILESS_MAIN(KSqliteTest)
#include "tst_ksqlite.moc"
