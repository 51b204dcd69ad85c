#include <ksqlite/KSqlDatabase.h>
#include <ksqlite/KSqlException.h>
#include <ksqlite/KSqlStatement.h>

#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>

using namespace KSQLite;

Q_DECLARE_METATYPE(KSqlColumnType)

namespace {
enum class Kind
{
    Int,
    Int64,
    Double,
    Text,
    Null,
    Blob
};
} // namespace
Q_DECLARE_METATYPE(Kind)

class KSqlStatementTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void bindsAndReadsEachType_data();
    void bindsAndReadsEachType();
    void boundTextIsNeverSql();
    void namedParametersAndReset();
    void badBindingRaises();
    void columnAccessOutsideARowRaises();
    void refusesSecondStatement_data();
    void refusesSecondStatement();
    void survivesItsDatabase();

private:
    std::unique_ptr<KSqlDatabase> m_db;
};

void KSqlStatementTest::init()
{
    m_db = std::make_unique<KSqlDatabase>();
    m_db->Open(":memory:", true);
    // No declared type: each value keeps the storage class it was bound with.
    m_db->exec("CREATE TABLE v (x)");
}

void KSqlStatementTest::cleanup()
{
    m_db.reset();
}

void KSqlStatementTest::bindsAndReadsEachType_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<KSqlColumnType>("storedAs");

    QTest::newRow("int") << Kind::Int << QVariant(-123456) << KSqlColumnType::Integer;
    QTest::newRow("int min") << Kind::Int << QVariant(std::numeric_limits<int>::min())
                             << KSqlColumnType::Integer;
    QTest::newRow("int64 beyond 2^53")
        << Kind::Int64 << QVariant(qint64(9007199254740993LL)) << KSqlColumnType::Integer;
    QTest::newRow("int64 max") << Kind::Int64
                               << QVariant(qint64(std::numeric_limits<qint64>::max()))
                               << KSqlColumnType::Integer;
    QTest::newRow("double") << Kind::Double << QVariant(-0.125e-300) << KSqlColumnType::Float;
    QTest::newRow("text non-ASCII")
        << Kind::Text << QVariant(QStringLiteral("墙 \"Wall\" 'x'")) << KSqlColumnType::Text;
    QTest::newRow("empty text") << Kind::Text << QVariant(QString("")) << KSqlColumnType::Text;
    QTest::newRow("null") << Kind::Null << QVariant() << KSqlColumnType::Null;
    QTest::newRow("blob with zero bytes")
        << Kind::Blob << QVariant(QByteArray("\0\1\2\0\xff", 5)) << KSqlColumnType::Blob;
    QTest::newRow("empty blob") << Kind::Blob << QVariant(QByteArray()) << KSqlColumnType::Blob;
}

void KSqlStatementTest::bindsAndReadsEachType()
{
    QFETCH(Kind, kind);
    QFETCH(QVariant, value);
    QFETCH(KSqlColumnType, storedAs);

    KSqlStatement insert(*m_db, "INSERT INTO v VALUES (?)");
    const QByteArray bytes = value.toByteArray();
    switch (kind) {
    case Kind::Int:
        insert.bindInt(1, value.toInt());
        break;
    case Kind::Int64:
        insert.bindInt64(1, value.toLongLong());
        break;
    case Kind::Double:
        insert.bindDouble(1, value.toDouble());
        break;
    case Kind::Text:
        insert.bindText(1, value.toString().toStdString());
        break;
    case Kind::Null:
        insert.bindNull(1);
        break;
    case Kind::Blob:
        insert.bindBlob(1, std::vector<unsigned char>(bytes.begin(), bytes.end()));
        break;
    }
    QCOMPARE(insert.execute(), 1);

    KSqlStatement select(*m_db, "SELECT x FROM v");
    QVERIFY(select.step());
    QCOMPARE(select.columnType(0), storedAs);
    QCOMPARE(select.isNull(0), kind == Kind::Null);
    switch (kind) {
    case Kind::Int:
        QCOMPARE(select.getInt(0), value.toInt());
        break;
    case Kind::Int64:
        QCOMPARE(select.getInt64(0), std::int64_t(value.toLongLong()));
        break;
    case Kind::Double:
        QCOMPARE(select.getDouble(0), value.toDouble());
        break;
    case Kind::Text:
        QCOMPARE(QString::fromStdString(select.getText(0)), value.toString());
        break;
    case Kind::Null:
        QCOMPARE(select.getInt64(0), std::int64_t(0));
        QVERIFY(select.getText(0).empty());
        break;
    case Kind::Blob: {
        const auto blob = select.getBlob(0);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(blob.data()), int(blob.size())), bytes);
        break;
    }
    }
    QVERIFY(!select.step());
}

void KSqlStatementTest::boundTextIsNeverSql()
{
    const std::string hostile = "x'); DROP TABLE v; --";
    KSqlStatement insert(*m_db, "INSERT INTO v VALUES (?1)");
    insert.bindText(1, hostile);
    insert.execute();
    QVERIFY(m_db->tableExists("v"));
    KSqlStatement select(*m_db, "SELECT x FROM v WHERE x = ?1");
    select.bindText(1, hostile);
    QVERIFY(select.step());
    QCOMPARE(select.getText(0), hostile);
}

void KSqlStatementTest::namedParametersAndReset()
{
    KSqlStatement insert(*m_db, "INSERT INTO v VALUES (:value)");
    QCOMPARE(insert.parameterCount(), 1);
    const int index = insert.parameterIndex(":value");
    for (int i = 1; i <= 3; ++i) {
        insert.bindInt(index, i * 10);
        insert.execute();
        insert.reset();
    }
    insert.clearBindings();
    insert.execute();

    KSqlStatement select(*m_db, "SELECT sum(x), count(x), count(*) FROM v");
    QVERIFY(select.step());
    QCOMPARE(select.getInt(select.columnIndex("SUM(X)")), 60);
    QCOMPARE(select.getInt(1), 3);
    QCOMPARE(select.getInt(2), 4);
    QCOMPARE(select.columnName(2), std::string("count(*)"));
    QVERIFY_EXCEPTION_THROWN(select.columnIndex("avg(x)"), KSqlException);
    QVERIFY_EXCEPTION_THROWN(insert.parameterIndex(":other"), KSqlException);
}

void KSqlStatementTest::badBindingRaises()
{
    KSqlStatement insert(*m_db, "INSERT INTO v VALUES (?)");
    try {
        insert.bindInt(2, 1);
        QFAIL("bound a parameter the statement does not have");
    } catch (const KSqlException& error) {
        QCOMPARE(error.errorCode(), 25);
    }
    QVERIFY_EXCEPTION_THROWN(insert.bindText(0, "x"), KSqlException);
}

void KSqlStatementTest::columnAccessOutsideARowRaises()
{
    m_db->exec("INSERT INTO v VALUES (1)");
    KSqlStatement select(*m_db, "SELECT x FROM v");
    QVERIFY(!select.hasRow());
    QVERIFY_EXCEPTION_THROWN(select.getInt(0), KSqlException);
    QVERIFY(select.step());
    QCOMPARE(select.getInt(0), 1);
    try {
        select.getInt(1);
        QFAIL("read past the last column");
    } catch (const KSqlException& error) {
        QCOMPARE(error.errorCode(), 25);
    }
    QVERIFY_EXCEPTION_THROWN(select.getText(-1), KSqlException);
    QVERIFY(!select.step());
    QVERIFY_EXCEPTION_THROWN(select.getInt(0), KSqlException);
    select.reset();
    QVERIFY_EXCEPTION_THROWN(select.getInt(0), KSqlException);
}

void KSqlStatementTest::refusesSecondStatement_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("one statement") << "SELECT 1" << true;
    QTest::newRow("trailing semicolons and comment") << "SELECT 1;; -- done\n /* end */" << true;
    QTest::newRow("two statements") << "SELECT 1; DELETE FROM v" << false;
    QTest::newRow("empty") << "  -- nothing" << false;
    QTest::newRow("syntax error") << "SELECT FROM" << false;
}

void KSqlStatementTest::refusesSecondStatement()
{
    QFETCH(QString, sql);
    QFETCH(bool, accepted);
    bool ok = true;
    try {
        KSqlStatement statement(*m_db, sql.toStdString());
    } catch (const KSqlException&) {
        ok = false;
    }
    QCOMPARE(ok, accepted);
}

void KSqlStatementTest::survivesItsDatabase()
{
    m_db->exec("INSERT INTO v VALUES (1), (2)");
    KSqlStatement select(*m_db, "SELECT x FROM v");
    QVERIFY(select.step());
    KSqlStatement moved(std::move(select));
    QCOMPARE(moved.getInt(0), 1);
    m_db.reset();
    try {
        moved.step();
        QFAIL("stepped on a destroyed database");
    } catch (const KSqlException& error) {
        QCOMPARE(error.errorCode(), 21);
    }
    QVERIFY_EXCEPTION_THROWN(moved.reset(), KSqlException);
    QVERIFY_EXCEPTION_THROWN(select.step(), KSqlException);
}

QTEST_GUILESS_MAIN(KSqlStatementTest)

#include "tst_ksqlstatement.moc"
