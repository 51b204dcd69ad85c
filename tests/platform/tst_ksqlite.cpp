// The SQLite wrapper as the library uses it: opening the project's database,
// table handles by name, and what stays safe once the database is closed.
#include <bimcore/platform/ksqlite/KSQLite.h>

#include <QtTest>

#include <memory>

using namespace KSQLite;

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
    // Opening a project database that went away creates nothing.
    void failedOpenCreatesNothing()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath("模型.db");
        QCOMPARE(raisedCode([&] { KSqlDatabase().Open(missing.toStdString(), true); }), 14);
        QVERIFY(!QFileInfo::exists(missing));
    }

    // The project hands out tables by the host's name: quoted, never run as SQL.
    void tablesByName()
    {
        const auto db = memoryDb("CREATE TABLE v (x); CREATE TABLE \"t\"\"; DROP TABLE v; --\" "
                                 "(id INTEGER, \"名称\" TEXT)");
        const std::string name = "t\"; DROP TABLE v; --";
        db->exec("INSERT INTO " + quoteIdentifier(name) + " VALUES (1, 'a'), (2, 'b')");
        const KSqlTable table(db.get(), name, false);
        QVERIFY(table.isValid());
        QCOMPARE(table.rowCount(), std::int64_t(2));
        KSqlStatement rows = table.rows();
        QVERIFY(rows.step());
        QCOMPARE(rows.getText(1), std::string("a"));

        const KSqlTable missing(db.get(), "v\"; DROP TABLE v; --", false);
        QVERIFY(!missing.isValid());
        QCOMPARE(missing.rowCount(), std::int64_t(0));
        QVERIFY(!missing.rows().step());
        QVERIFY(KSqlTable(db.get(), "v", false).isValid());
    }

    // A host may keep tables and statements past the project's close.
    void handlesOutliveTheDatabase()
    {
        auto db = memoryDb("CREATE TABLE element_type (id INTEGER); INSERT INTO element_type "
                           "VALUES (1), (2)");
        const KSqlTable table(db.get(), "ELEMENT_TYPE", false);
        KSqlStatement rows = table.rows();
        QVERIFY(rows.step());
        db->Close();
        QCOMPARE(raisedCode([&] { table.rowCount(); }), 21);
        QVERIFY_EXCEPTION_THROWN(rows.step(), KSqlException);
        db.reset();
        QVERIFY_EXCEPTION_THROWN(table.rows(), KSqlException);
    }
};

QTEST_GUILESS_MAIN(KSqliteTest)
#include "tst_ksqlite.moc"
