#include <ksqlite/KSqlDatabase.h>
#include <ksqlite/KSqlException.h>
#include <ksqlite/KSqlIdentifier.h>
#include <ksqlite/KSqlStatement.h>
#include <ksqlite/KSqlTable.h>

#include <QtTest>

#include <memory>

using namespace KSQLite;

Q_DECLARE_METATYPE(std::string)

class KSqlTableTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readsColumnsAndTypedRows();
    void oddNamesAreQuoted_data();
    void oddNamesAreQuoted();
    void quoteIdentifierDoublesQuotes();
    void invalidTable_data();
    void invalidTable();
    void mustExistRaisesForInvalidTable();
    void hostileNameReadsNothing();
    void followsChangesAndReadsViews();
    void raisesAfterDatabaseGoes();

private:
    std::unique_ptr<KSqlDatabase> m_db;
};

void KSqlTableTest::init()
{
    m_db = std::make_unique<KSqlDatabase>();
    m_db->Open(":memory:", true);
    m_db->exec("CREATE TABLE element_type (id INTEGER PRIMARY KEY, big INTEGER, ratio REAL,"
               " name TEXT, icon BLOB, note TEXT)");
    KSqlStatement insert(*m_db, "INSERT INTO element_type VALUES (?, ?, ?, ?, ?, NULL)");
    insert.bindInt(1, 1);
    insert.bindInt64(2, 9223372036854775807LL);
    insert.bindDouble(3, 0.5);
    insert.bindText(4, "墙");
    insert.bindBlob(5, std::vector<unsigned char> { 0, 1, 2 });
    insert.execute();
    insert.reset();
    insert.bindInt(1, 2);
    insert.bindInt64(2, -1);
    insert.bindDouble(3, 2.25);
    insert.bindText(4, "Door");
    insert.bindNull(5);
    insert.execute();
}

void KSqlTableTest::cleanup()
{
    m_db.reset();
}

void KSqlTableTest::readsColumnsAndTypedRows()
{
    const KSqlTable table(m_db.get(), "element_type", false);
    QVERIFY(table.isValid());
    QCOMPARE(table.database(), m_db.get());
    const std::vector<std::string> expected { "id", "big", "ratio", "name", "icon", "note" };
    QCOMPARE(table.columnNames(), expected);
    QCOMPARE(table.columnCount(), 6);
    QCOMPARE(table.columnIndex("NAME"), 3);
    QCOMPARE(table.columnIndex("missing"), -1);
    QCOMPARE(table.rowCount(), std::int64_t(2));

    auto rows = table.rows();
    QCOMPARE(rows.columnCount(), 6);
    QVERIFY(rows.next());
    QCOMPARE(rows.getInt("id"), 1);
    QCOMPARE(rows.getInt64("Big"), std::int64_t(9223372036854775807LL));
    QCOMPARE(rows.getDouble(2), 0.5);
    QCOMPARE(QString::fromStdString(rows.getText("name")), QStringLiteral("墙"));
    QCOMPARE(rows.getBlob("icon"), (std::vector<unsigned char> { 0, 1, 2 }));
    QVERIFY(rows.isNull("note"));
    QCOMPARE(rows.columnType("ratio"), KSqlColumnType::Float);
    QVERIFY_EXCEPTION_THROWN(rows.getInt("nope"), KSqlException);
    QVERIFY(rows.next());
    QCOMPARE(rows.getInt64(1), std::int64_t(-1));
    QCOMPARE(rows.columnType(4), KSqlColumnType::Null);
    QVERIFY(!rows.next());
    QVERIFY_EXCEPTION_THROWN(rows.getInt(0), KSqlException);
}

void KSqlTableTest::oddNamesAreQuoted_data()
{
    QTest::addColumn<std::string>("tableName");
    QTest::addColumn<std::string>("columnName");
    QTest::newRow("spaces") << std::string("element type") << std::string("display name");
    QTest::newRow("double quotes") << std::string("say \"hi\"") << std::string("\"");
    QTest::newRow("single quote") << std::string("it's") << std::string("o'clock");
    QTest::newRow("Chinese") << std::string("构件类型") << std::string("名称");
    QTest::newRow("keywords") << std::string("select") << std::string("from");
    QTest::newRow("SQL in the name") << std::string("t\"; DROP TABLE element_type; --")
                                     << std::string("x\" FROM element_type; --");
}

void KSqlTableTest::oddNamesAreQuoted()
{
    QFETCH(std::string, tableName);
    QFETCH(std::string, columnName);
    m_db->exec("CREATE TABLE " + quoteIdentifier(tableName) + " (" + quoteIdentifier(columnName)
        + " TEXT)");
    KSqlStatement insert(*m_db, "INSERT INTO " + quoteIdentifier(tableName) + " VALUES (?)");
    insert.bindText(1, "value");
    insert.execute();

    const KSqlTable table(m_db.get(), tableName, true);
    QVERIFY(table.isValid());
    QCOMPARE(table.name(), tableName);
    QCOMPARE(table.columnNames(), std::vector<std::string> { columnName });
    QCOMPARE(table.rowCount(), std::int64_t(1));
    auto rows = table.rows();
    QVERIFY(rows.next());
    QCOMPARE(rows.getText(columnName), std::string("value"));
    QVERIFY(m_db->tableExists("element_type"));
}

void KSqlTableTest::quoteIdentifierDoublesQuotes()
{
    QCOMPARE(quoteIdentifier("a\"b"), std::string("\"a\"\"b\""));
    QCOMPARE(quoteIdentifier(""), std::string("\"\""));
}

void KSqlTableTest::invalidTable_data()
{
    QTest::addColumn<int>("database");
    QTest::addColumn<std::string>("tableName");
    enum
    {
        Null,
        Unopened,
        Open
    };
    QTest::newRow("null database") << int(Null) << std::string("element_type");
    QTest::newRow("unopened database") << int(Unopened) << std::string("element_type");
    QTest::newRow("missing table") << int(Open) << std::string("specialty");
    QTest::newRow("empty name") << int(Open) << std::string();
}

void KSqlTableTest::invalidTable()
{
    QFETCH(int, database);
    QFETCH(std::string, tableName);
    KSqlDatabase unopened;
    KSqlDatabase* const databases[] = { nullptr, &unopened, m_db.get() };
    KSqlDatabase* const chosen = databases[database];

    const KSqlTable table(chosen, tableName, false);
    QVERIFY(!table.isValid());
    QCOMPARE(table.database(), chosen);
    QVERIFY(table.columnNames().empty());
    QCOMPARE(table.columnCount(), 0);
    QCOMPARE(table.columnIndex("id"), -1);
    QCOMPARE(table.rowCount(), std::int64_t(0));
    auto rows = table.rows();
    QVERIFY(!rows.next());
    QCOMPARE(rows.columnCount(), 0);
    QVERIFY_EXCEPTION_THROWN(rows.getInt(0), KSqlException);

    QVERIFY_EXCEPTION_THROWN(KSqlTable(chosen, tableName, true), KSqlException);

    const KSqlTable defaulted;
    QVERIFY(!defaulted.isValid());
    QCOMPARE(defaulted.rowCount(), std::int64_t(0));
}

void KSqlTableTest::mustExistRaisesForInvalidTable()
{
    try {
        KSqlTable table(m_db.get(), "specialty", true);
        QFAIL("a missing table was accepted");
    } catch (const KSqlException& error) {
        QVERIFY2(error.msg().find("specialty") != std::string::npos, error.what());
    }
}

void KSqlTableTest::hostileNameReadsNothing()
{
    const KSqlTable table(m_db.get(), "element_type\"; DROP TABLE element_type; --", false);
    QVERIFY(!table.isValid());
    QVERIFY(m_db->tableExists("element_type"));
}

void KSqlTableTest::followsChangesAndReadsViews()
{
    const KSqlTable table(m_db.get(), "ELEMENT_TYPE", false);
    QVERIFY(table.isValid());
    m_db->exec("INSERT INTO element_type (id, name) VALUES (3, 'Slab')");
    QCOMPARE(table.rowCount(), std::int64_t(3));

    m_db->exec("CREATE VIEW names AS SELECT name AS label FROM element_type WHERE id > 1");
    const KSqlTable view(m_db.get(), "names", false);
    QVERIFY(view.isValid());
    QCOMPARE(view.columnNames(), std::vector<std::string> { "label" });
    QCOMPARE(view.rowCount(), std::int64_t(2));

    // A copy is the same view of the same table.
    const KSqlTable copy = table;
    QCOMPARE(copy.rowCount(), std::int64_t(3));
}

void KSqlTableTest::raisesAfterDatabaseGoes()
{
    const KSqlTable table(m_db.get(), "element_type", false);
    auto rows = table.rows();
    QVERIFY(rows.next());
    m_db->Close();
    QVERIFY(table.isValid());
    QVERIFY_EXCEPTION_THROWN(table.rowCount(), KSqlException);
    QVERIFY_EXCEPTION_THROWN(table.rows(), KSqlException);
    QVERIFY_EXCEPTION_THROWN(rows.next(), KSqlException);
    // Outliving the database object itself is just as safe.
    m_db.reset();
    QVERIFY_EXCEPTION_THROWN(table.rowCount(), KSqlException);
}

QTEST_GUILESS_MAIN(KSqlTableTest)

#include "tst_ksqltable.moc"
