#include "KSqlTestFiles.h"

#include <ksqlite/KSqlDatabase.h>
#include <ksqlite/KSqlException.h>
#include <ksqlite/KSqlStatement.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace KSQLite;

class KSqlDatabaseTest : public QObject
{
    Q_OBJECT

private slots:
    void openFailureCarriesSqliteMessage_data();
    void openFailureCarriesSqliteMessage();
    void unreadableFileRaises();
    void opensRealFileAtUnicodePath();
    void readOnlyFlagRefusesWrites();
    void reopenClosesPreviousDatabase();
    void failedOpenLeavesDatabaseClosed();
    void closedDatabaseRaisesInsteadOfCrashing();
    void execReportsSqliteError();
};

void KSqlDatabaseTest::openFailureCarriesSqliteMessage_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<QString>("sqliteMessage");

    // An empty content means: do not create the file.
    QTest::newRow("missing file") << "missing.db" << QByteArray() << 14
                                  << "unable to open database file";
    QTest::newRow("text file")
        << "notes.db" << QByteArray("This project folder holds no database at all.\n").repeated(40)
        << 26 << "file is not a database";
    QTest::newRow("short garbage")
        << "short.db" << QByteArray("SQLite format 2\0", 16) << 26 << "file is not a database";
}

void KSqlDatabaseTest::openFailureCarriesSqliteMessage()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(int, errorCode);
    QFETCH(QString, sqliteMessage);

    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const QByteArray before = content;

    KSqlDatabase database;
    try {
        database.Open(utf8(path), true);
        QFAIL("Open accepted the file");
    } catch (const KSqlException& error) {
        QVERIFY2(error.msg().find(sqliteMessage.toStdString()) != std::string::npos, error.what());
        QVERIFY2(error.msg().find(utf8(path)) != std::string::npos, error.what());
        QCOMPARE(error.errorCode(), errorCode);
    }
    QVERIFY(!database.isOpen());
    QVERIFY(database.handle() == nullptr);
    // Never created, never rewritten.
    QCOMPARE(QFile::exists(path), !content.isEmpty());
    if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }
}

void KSqlDatabaseTest::unreadableFileRaises()
{
    if (geteuid() == 0)
        QSKIP("root reads any file");
    QTemporaryDir dir;
    const QString path = createEmptyDatabaseFile(dir);
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    KSqlDatabase database;
    QVERIFY_EXCEPTION_THROWN(database.Open(utf8(path), true), KSqlException);
    QVERIFY(!database.isOpen());
}

void KSqlDatabaseTest::opensRealFileAtUnicodePath()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("项目 一")));
    const QString path = createEmptyDatabaseFile(dir, QStringLiteral("项目 一/模型.db"));
    {
        KSqlDatabase database;
        QVERIFY(database.Open(utf8(path), true));
        QVERIFY(database.isOpen());
        QCOMPARE(database.path(), utf8(path));
        database.exec("CREATE TABLE project (id INTEGER, name TEXT)");
        QCOMPARE(database.exec("INSERT INTO project VALUES (7, 'x'), (8, 'y')"), 2);
        QCOMPARE(database.lastInsertRowId(), std::int64_t(2));
    }
    KSqlDatabase reopened;
    reopened.Open(utf8(path), true);
    QVERIFY(reopened.tableExists("project"));
    QVERIFY(reopened.tableExists("PROJECT"));
    QVERIFY(!reopened.tableExists("projects"));
    KSqlStatement count(reopened, "SELECT count(*) FROM project");
    QVERIFY(count.step());
    QCOMPARE(count.getInt(0), 2);
}

void KSqlDatabaseTest::readOnlyFlagRefusesWrites()
{
    QTemporaryDir dir;
    const QString path = createEmptyDatabaseFile(dir);
    {
        KSqlDatabase writer;
        writer.Open(utf8(path), true);
        writer.exec("CREATE TABLE t (x)");
    }
    KSqlDatabase reader;
    reader.Open(utf8(path), false);
    QVERIFY(reader.tableExists("t"));
    try {
        reader.exec("INSERT INTO t VALUES (1)");
        QFAIL("a read-only database accepted a write");
    } catch (const KSqlException& error) {
        QCOMPARE(error.errorCode(), 8);
        QVERIFY2(error.msg().find("readonly") != std::string::npos, error.what());
    }
}

void KSqlDatabaseTest::reopenClosesPreviousDatabase()
{
    QTemporaryDir dir;
    const QString first = createEmptyDatabaseFile(dir, "first.db");
    const QString second = createEmptyDatabaseFile(dir, "second.db");
    KSqlDatabase database;
    database.Open(utf8(first), true);
    database.exec("CREATE TABLE only_in_first (x)");
    KSqlStatement fromFirst(database, "SELECT * FROM only_in_first");

    database.Open(utf8(second), true);
    QCOMPARE(database.path(), utf8(second));
    QVERIFY(!database.tableExists("only_in_first"));
    // The statement belongs to the closed connection.
    QVERIFY_EXCEPTION_THROWN(fromFirst.step(), KSqlException);
}

void KSqlDatabaseTest::failedOpenLeavesDatabaseClosed()
{
    QTemporaryDir dir;
    const QString good = createEmptyDatabaseFile(dir);
    KSqlDatabase database;
    database.Open(utf8(good), true);
    QVERIFY_EXCEPTION_THROWN(database.Open(utf8(dir.filePath("missing.db")), true), KSqlException);
    QVERIFY(!database.isOpen());
    QVERIFY(database.path().empty());
    QVERIFY_EXCEPTION_THROWN(database.Open(utf8(dir.path()), true), KSqlException);
    QVERIFY(!database.isOpen());
}

void KSqlDatabaseTest::closedDatabaseRaisesInsteadOfCrashing()
{
    KSqlDatabase database;
    QVERIFY(!database.isOpen());
    QVERIFY(!database.tableExists("t"));
    QCOMPARE(database.lastInsertRowId(), std::int64_t(0));
    try {
        database.exec("SELECT 1");
        QFAIL("exec ran on an unopened database");
    } catch (const KSqlException& error) {
        QCOMPARE(error.errorCode(), 21);
    }
    QVERIFY_EXCEPTION_THROWN(KSqlStatement(database, "SELECT 1"), KSqlException);
    QVERIFY_EXCEPTION_THROWN(database.Open("", true), KSqlException);
    database.Close();
    database.Close();
}

void KSqlDatabaseTest::execReportsSqliteError()
{
    KSqlDatabase database;
    database.Open(":memory:", true);
    try {
        database.exec("SELEKT 1");
        QFAIL("bad SQL ran");
    } catch (const KSqlException& error) {
        QVERIFY2(error.msg().find("syntax error") != std::string::npos, error.what());
        QCOMPARE(error.errorCode(), 1);
        QCOMPARE(std::string(error.what()), error.msg());
    }
    try {
        database.exec("SELECT * FROM nowhere");
        QFAIL("a missing table was read");
    } catch (const KSqlException& error) {
        QVERIFY2(error.msg().find("no such table: nowhere") != std::string::npos, error.what());
    }
}

QTEST_GUILESS_MAIN(KSqlDatabaseTest)

#include "tst_ksqldatabase.moc"
