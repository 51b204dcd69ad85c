#include "KSqlTestFiles.h"

#include <ksqlite/KSqlDatabase.h>
#include <ksqlite/KSqlException.h>
#include <ksqlite/KSqlStatement.h>
#include <ksqlite/KSqlTransaction.h>

#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>

using namespace KSQLite;

namespace {
int rowsIn(const KSqlDatabase& database)
{
    KSqlStatement count(database, "SELECT count(*) FROM t");
    count.step();
    return count.getInt(0);
}
} // namespace

class KSqlTransactionTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void committedChangesSurviveReopening();
    void exceptionRollsBack();
    void explicitRollback();
    void endedTransactionRefusesToEndAgain();
    void nestedTransactionRaises();
    void guardOutlivingCloseDoesNotThrow();

private:
    QTemporaryDir m_dir;
    QString m_path;
    KSqlDatabase m_db;
};

void KSqlTransactionTest::init()
{
    m_path = createEmptyDatabaseFile(m_dir, QString::fromLatin1(QTest::currentTestFunction()));
    m_db.Open(utf8(m_path), true);
    m_db.exec("CREATE TABLE t (x INTEGER)");
}

void KSqlTransactionTest::committedChangesSurviveReopening()
{
    {
        Transaction transaction(m_db);
        m_db.exec("INSERT INTO t VALUES (1), (2)");
        transaction.commit();
    }
    m_db.Close();
    m_db.Open(utf8(m_path), true);
    QCOMPARE(rowsIn(m_db), 2);
}

void KSqlTransactionTest::exceptionRollsBack()
{
    m_db.exec("INSERT INTO t VALUES (0)");
    try {
        KSqlTransaction transaction(m_db);
        m_db.exec("INSERT INTO t VALUES (1)");
        m_db.exec("UPDATE t SET x = 5");
        throw std::runtime_error("interrupted");
    } catch (const std::runtime_error&) {
    }
    QCOMPARE(rowsIn(m_db), 1);
    KSqlStatement value(m_db, "SELECT x FROM t");
    QVERIFY(value.step());
    QCOMPARE(value.getInt(0), 0);
    // The connection is usable for a new transaction afterwards.
    KSqlTransaction next(m_db);
    next.commit();
}

void KSqlTransactionTest::explicitRollback()
{
    KSqlTransaction transaction(m_db);
    m_db.exec("INSERT INTO t VALUES (1)");
    transaction.rollback();
    QCOMPARE(rowsIn(m_db), 0);
}

void KSqlTransactionTest::endedTransactionRefusesToEndAgain()
{
    KSqlTransaction transaction(m_db);
    transaction.commit();
    QVERIFY_EXCEPTION_THROWN(transaction.commit(), KSqlException);
    QVERIFY_EXCEPTION_THROWN(transaction.rollback(), KSqlException);
}

void KSqlTransactionTest::nestedTransactionRaises()
{
    KSqlTransaction outer(m_db);
    m_db.exec("INSERT INTO t VALUES (1)");
    try {
        KSqlTransaction inner(m_db);
        QFAIL("a transaction started inside another");
    } catch (const KSqlException& error) {
        QVERIFY2(error.msg().find("within a transaction") != std::string::npos, error.what());
    }
    // The failed inner guard must not have ended the outer transaction.
    outer.commit();
    QCOMPARE(rowsIn(m_db), 1);
}

void KSqlTransactionTest::guardOutlivingCloseDoesNotThrow()
{
    {
        KSqlTransaction transaction(m_db);
        m_db.exec("INSERT INTO t VALUES (1)");
        m_db.Close();
    }
    m_db.Open(utf8(m_path), true);
    QCOMPARE(rowsIn(m_db), 0);
}

QTEST_GUILESS_MAIN(KSqlTransactionTest)

#include "tst_ksqltransaction.moc"
