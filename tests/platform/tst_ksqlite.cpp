// The SQLite wrapper: opening, statements, transactions and table reading.
#include "KSqlTestFiles.h"

#include <ksqlite/KSQLite.h>

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <unistd.h>

using namespace KSQLite;

Q_DECLARE_METATYPE(KSqlColumnType)
Q_DECLARE_METATYPE(std::string)

namespace {

struct Raised
{
    int code = -1; // -1: nothing was raised
    std::string msg;
    bool says(const std::string& text) const { return msg.find(text) != std::string::npos; }
};

Raised raised(const std::function<void()>& call)
{
    try {
        call();
    } catch (const KSqlException& error) {
        if (std::string(error.what()) != error.msg())
            return { -2, "what() differs from msg()" };
        return { error.errorCode(), error.msg() };
    }
    return {};
}

int rowsIn(const KSqlDatabase& database, const std::string& table = "t")
{
    KSqlStatement count(database, "SELECT count(*) FROM " + quoteIdentifier(table));
    count.step();
    return count.getInt(0);
}

} // namespace

class KSqliteTest : public QObject
{
    Q_OBJECT

private slots:
    void openFailureCarriesSqliteMessage_data();
    void openFailureCarriesSqliteMessage();
    void opensUnicodePathReadOnlyAndReopens();
    void closedOrFailedDatabaseRaises();
    void bindsAndReadsEachType_data();
    void bindsAndReadsEachType();
    void parametersAndColumns();
    void refusesSecondStatement_data();
    void refusesSecondStatement();
    void statementSurvivesItsDatabase();
    void transactions();
    void readsColumnsAndTypedRows();
    void oddNamesAreQuoted_data();
    void oddNamesAreQuoted();
    void invalidTable_data();
    void invalidTable();
    void tableFollowsChangesAndOutlivesDatabase();

private:
    std::unique_ptr<KSqlDatabase> memoryDb(const char* sql = "CREATE TABLE v (x)");
};

std::unique_ptr<KSqlDatabase> KSqliteTest::memoryDb(const char* sql)
{
    auto db = std::make_unique<KSqlDatabase>();
    db->Open(":memory:", true);
    db->exec(sql);
    return db;
}

void KSqliteTest::openFailureCarriesSqliteMessage_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content"); // empty: the file is not made
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<QString>("sqliteMessage");
    QTest::newRow("missing file") << "missing.db" << QByteArray() << 14
                                  << "unable to open database file";
    QTest::newRow("text file") << "notes.db" << QByteArray("No database here.\n").repeated(200)
                               << 26 << "file is not a database";
    QTest::newRow("short garbage")
        << "short.db" << QByteArray("SQLite format 2\0", 16) << 26 << "file is not a database";
    QTest::newRow("unreadable") << "locked.db" << QByteArray() << 14 << "unable to open";
}

void KSqliteTest::openFailureCarriesSqliteMessage()
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
    if (fileName == "locked.db") {
        if (geteuid() == 0)
            QSKIP("root reads any file");
        createEmptyDatabaseFile(dir, fileName);
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    }
    const bool existed = QFile::exists(path);

    KSqlDatabase database;
    const Raised error = raised([&] { database.Open(utf8(path), true); });
    QVERIFY2(error.says(sqliteMessage.toStdString()), error.msg.c_str());
    QVERIFY2(error.says(utf8(path)), error.msg.c_str());
    QCOMPARE(error.code, errorCode);
    QVERIFY(!database.isOpen());
    QVERIFY(database.handle() == nullptr);
    // Never created, never rewritten.
    QCOMPARE(QFile::exists(path), existed);
    if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }
}

void KSqliteTest::opensUnicodePathReadOnlyAndReopens()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("项目 一")));
    const QString path = createEmptyDatabaseFile(dir, QStringLiteral("项目 一/模型.db"));
    const QString other = createEmptyDatabaseFile(dir, "other.db");
    {
        KSqlDatabase database;
        QVERIFY(database.Open(utf8(path), true));
        QCOMPARE(database.path(), utf8(path));
        database.exec("CREATE TABLE project (id INTEGER, name TEXT)");
        QCOMPARE(database.exec("INSERT INTO project VALUES (7, 'x'), (8, 'y')"), 2);
        QCOMPARE(database.lastInsertRowId(), std::int64_t(2));
    }
    KSqlDatabase reader;
    reader.Open(utf8(path), false);
    QVERIFY(reader.tableExists("PROJECT"));
    QVERIFY(!reader.tableExists("projects"));
    QCOMPARE(rowsIn(reader, "project"), 2);
    const Raised write = raised([&] { reader.exec("INSERT INTO project VALUES (1, 'z')"); });
    QCOMPARE(write.code, 8);
    QVERIFY2(write.says("readonly"), write.msg.c_str());

    // Opening another file closes the first; its statements refuse to run.
    KSqlStatement fromFirst(reader, "SELECT * FROM project");
    reader.Open(utf8(other), true);
    QCOMPARE(reader.path(), utf8(other));
    QVERIFY(!reader.tableExists("project"));
    QVERIFY_EXCEPTION_THROWN(fromFirst.step(), KSqlException);
}

void KSqliteTest::closedOrFailedDatabaseRaises()
{
    QTemporaryDir dir;
    KSqlDatabase database;
    database.Open(utf8(createEmptyDatabaseFile(dir)), true);
    QVERIFY_EXCEPTION_THROWN(database.Open(utf8(dir.filePath("missing.db")), true), KSqlException);
    QVERIFY(!database.isOpen());
    QVERIFY(database.path().empty());
    QVERIFY_EXCEPTION_THROWN(database.Open(utf8(dir.path()), true), KSqlException);
    QVERIFY_EXCEPTION_THROWN(database.Open("", true), KSqlException);
    QVERIFY(!database.isOpen());
    QVERIFY(!database.tableExists("t"));
    QCOMPARE(database.lastInsertRowId(), std::int64_t(0));
    QCOMPARE(raised([&] { database.exec("SELECT 1"); }).code, 21);
    QVERIFY_EXCEPTION_THROWN(KSqlStatement(database, "SELECT 1"), KSqlException);
    database.Close();
    database.Close();

    database.Open(":memory:", true);
    const Raised syntax = raised([&] { database.exec("SELEKT 1"); });
    QCOMPARE(syntax.code, 1);
    QVERIFY2(syntax.says("syntax error"), syntax.msg.c_str());
    QVERIFY(raised([&] { database.exec("SELECT * FROM nowhere"); }).says("no such table: nowhere"));
}

void KSqliteTest::bindsAndReadsEachType_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<KSqlColumnType>("storedAs");
    QTest::newRow("int") << QVariant(-123456) << KSqlColumnType::Integer;
    QTest::newRow("int64 beyond 2^53")
        << QVariant(qint64(9007199254740993LL)) << KSqlColumnType::Integer;
    QTest::newRow("int64 max") << QVariant(std::numeric_limits<qint64>::max())
                               << KSqlColumnType::Integer;
    QTest::newRow("double") << QVariant(-0.125e-300) << KSqlColumnType::Float;
    QTest::newRow("text non-ASCII")
        << QVariant(QStringLiteral("墙 \"Wall\" 'x'")) << KSqlColumnType::Text;
    QTest::newRow("empty text") << QVariant(QString("")) << KSqlColumnType::Text;
    QTest::newRow("null") << QVariant() << KSqlColumnType::Null;
    QTest::newRow("blob with zero bytes")
        << QVariant(QByteArray("\0\1\2\0\xff", 5)) << KSqlColumnType::Blob;
    QTest::newRow("empty blob") << QVariant(QByteArray("")) << KSqlColumnType::Blob;
}

void KSqliteTest::bindsAndReadsEachType()
{
    QFETCH(QVariant, value);
    QFETCH(KSqlColumnType, storedAs);
    const auto db = memoryDb(); // no declared type: values keep their storage class
    KSqlStatement insert(*db, "INSERT INTO v VALUES (?)");
    const QByteArray bytes = value.toByteArray();
    const int type = value.userType();
    if (type == QMetaType::Int)
        insert.bindInt(1, value.toInt());
    else if (type == QMetaType::LongLong)
        insert.bindInt64(1, value.toLongLong());
    else if (type == QMetaType::Double)
        insert.bindDouble(1, value.toDouble());
    else if (type == QMetaType::QString)
        insert.bindText(1, value.toString().toStdString());
    else if (type == QMetaType::QByteArray)
        insert.bindBlob(1, std::vector<unsigned char>(bytes.begin(), bytes.end()));
    else
        insert.bindNull(1);
    QCOMPARE(insert.execute(), 1);

    KSqlStatement select(*db, "SELECT x FROM v");
    QVERIFY(select.step());
    QCOMPARE(select.columnType(0), storedAs);
    QCOMPARE(select.isNull(0), !value.isValid());
    if (type == QMetaType::Int)
        QCOMPARE(select.getInt(0), value.toInt());
    else if (type == QMetaType::LongLong)
        QCOMPARE(select.getInt64(0), std::int64_t(value.toLongLong()));
    else if (type == QMetaType::Double)
        QCOMPARE(select.getDouble(0), value.toDouble());
    else if (type == QMetaType::QString)
        QCOMPARE(QString::fromStdString(select.getText(0)), value.toString());
    else if (type == QMetaType::QByteArray)
        QCOMPARE(select.getBlob(0), std::vector<unsigned char>(bytes.begin(), bytes.end()));
    else
        QVERIFY(select.getInt64(0) == 0 && select.getText(0).empty());
    QVERIFY(!select.step());
}

void KSqliteTest::parametersAndColumns()
{
    const auto db = memoryDb();
    // Bound text is never SQL.
    const std::string hostile = "x'); DROP TABLE v; --";
    KSqlStatement insertHostile(*db, "INSERT INTO v VALUES (?1)");
    insertHostile.bindText(1, hostile);
    insertHostile.execute();
    KSqlStatement find(*db, "SELECT x FROM v WHERE x = ?1");
    find.bindText(1, hostile);
    QVERIFY(find.step());
    QCOMPARE(find.getText(0), hostile);
    db->exec("DELETE FROM v");

    KSqlStatement insert(*db, "INSERT INTO v VALUES (:value)");
    QCOMPARE(insert.parameterCount(), 1);
    QCOMPARE(raised([&] { insert.bindInt(2, 1); }).code, 25);
    QVERIFY_EXCEPTION_THROWN(insert.bindText(0, "x"), KSqlException);
    QVERIFY_EXCEPTION_THROWN(insert.parameterIndex(":other"), KSqlException);
    for (int i = 1; i <= 3; ++i) {
        insert.bindInt(insert.parameterIndex(":value"), i * 10);
        insert.execute();
        insert.reset();
    }
    insert.clearBindings();
    insert.execute();

    KSqlStatement select(*db, "SELECT sum(x), count(x), count(*) FROM v");
    QVERIFY(!select.hasRow());
    QVERIFY_EXCEPTION_THROWN(select.getInt(0), KSqlException);
    QVERIFY(select.step());
    QCOMPARE(select.getInt(select.columnIndex("SUM(X)")), 60);
    QCOMPARE(select.getInt(1), 3);
    QCOMPARE(select.getInt(2), 4);
    QCOMPARE(select.columnName(2), std::string("count(*)"));
    QVERIFY_EXCEPTION_THROWN(select.columnIndex("avg(x)"), KSqlException);
    QCOMPARE(raised([&] { select.getInt(3); }).code, 25);
    QVERIFY_EXCEPTION_THROWN(select.getText(-1), KSqlException);
    QVERIFY(!select.step());
    QVERIFY_EXCEPTION_THROWN(select.getInt(0), KSqlException);
    select.reset();
    QVERIFY_EXCEPTION_THROWN(select.getInt(0), KSqlException);
}

void KSqliteTest::refusesSecondStatement_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("one statement") << "SELECT 1" << true;
    QTest::newRow("trailing semicolons and comment") << "SELECT 1;; -- done\n /* end */" << true;
    QTest::newRow("two statements") << "SELECT 1; DELETE FROM v" << false;
    QTest::newRow("empty") << "  -- nothing" << false;
    QTest::newRow("syntax error") << "SELECT FROM" << false;
}

void KSqliteTest::refusesSecondStatement()
{
    QFETCH(QString, sql);
    QFETCH(bool, accepted);
    const auto db = memoryDb();
    QCOMPARE(raised([&] { KSqlStatement(*db, sql.toStdString()); }).code == -1, accepted);
}

void KSqliteTest::statementSurvivesItsDatabase()
{
    auto db = memoryDb();
    db->exec("INSERT INTO v VALUES (1), (2)");
    KSqlStatement select(*db, "SELECT x FROM v");
    QVERIFY(select.step());
    KSqlStatement moved(std::move(select));
    QCOMPARE(moved.getInt(0), 1);
    db.reset();
    QCOMPARE(raised([&] { moved.step(); }).code, 21);
    QVERIFY_EXCEPTION_THROWN(moved.reset(), KSqlException);
    QVERIFY_EXCEPTION_THROWN(select.step(), KSqlException);
}

void KSqliteTest::transactions()
{
    QTemporaryDir dir;
    const std::string path = utf8(createEmptyDatabaseFile(dir));
    KSqlDatabase db;
    db.Open(path, true);
    db.exec("CREATE TABLE t (x INTEGER)");
    {
        Transaction committed(db);
        db.exec("INSERT INTO t VALUES (1), (2)");
        committed.commit();
        QVERIFY_EXCEPTION_THROWN(committed.commit(), KSqlException);
        QVERIFY_EXCEPTION_THROWN(committed.rollback(), KSqlException);
    }
    try {
        KSqlTransaction interrupted(db);
        db.exec("INSERT INTO t VALUES (3)");
        db.exec("UPDATE t SET x = 5");
        throw std::runtime_error("interrupted");
    } catch (const std::runtime_error&) {
    }
    {
        KSqlTransaction rolledBack(db);
        db.exec("INSERT INTO t VALUES (4)");
        rolledBack.rollback();
    }
    {
        KSqlTransaction outer(db);
        db.exec("INSERT INTO t VALUES (6)");
        QVERIFY(raised([&] { KSqlTransaction inner(db); }).says("within a transaction"));
        // The failed inner guard must not have ended the outer transaction.
        outer.commit();
    }
    {
        KSqlTransaction outlivesClose(db);
        db.exec("INSERT INTO t VALUES (7)");
        db.Close();
    }
    db.Open(path, true);
    KSqlStatement values(db, "SELECT group_concat(x) FROM t");
    QVERIFY(values.step());
    QCOMPARE(values.getText(0), std::string("1,2,6"));
}

void KSqliteTest::readsColumnsAndTypedRows()
{
    const auto db = memoryDb("CREATE TABLE element_type (id INTEGER PRIMARY KEY, big INTEGER,"
                             " ratio REAL, name TEXT, icon BLOB, note TEXT)");
    db->exec("INSERT INTO element_type VALUES (1, 9223372036854775807, 0.5, '墙', x'000102', NULL),"
             " (2, -1, 2.25, 'Door', NULL, NULL)");
    const KSqlTable table(db.get(), "element_type", false);
    QVERIFY(table.isValid());
    QCOMPARE(table.database(), db.get());
    QCOMPARE(table.columnNames(),
        (std::vector<std::string> { "id", "big", "ratio", "name", "icon", "note" }));
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

void KSqliteTest::oddNamesAreQuoted_data()
{
    QTest::addColumn<std::string>("tableName");
    QTest::addColumn<std::string>("columnName");
    QTest::newRow("spaces") << std::string("element type") << std::string("display name");
    QTest::newRow("double quotes") << std::string("say \"hi\"") << std::string("\"");
    QTest::newRow("single quote") << std::string("it's") << std::string("o'clock");
    QTest::newRow("Chinese") << std::string("构件类型") << std::string("名称");
    QTest::newRow("keywords") << std::string("select") << std::string("from");
    QTest::newRow("SQL in the name")
        << std::string("t\"; DROP TABLE v; --") << std::string("x\" FROM v; --");
}

void KSqliteTest::oddNamesAreQuoted()
{
    QFETCH(std::string, tableName);
    QFETCH(std::string, columnName);
    QCOMPARE(quoteIdentifier("a\"b"), std::string("\"a\"\"b\""));
    const auto db = memoryDb();
    db->exec("CREATE TABLE " + quoteIdentifier(tableName) + " (" + quoteIdentifier(columnName)
        + " TEXT)");
    db->exec("INSERT INTO " + quoteIdentifier(tableName) + " VALUES ('value')");

    const KSqlTable table(db.get(), tableName, true);
    QVERIFY(table.isValid());
    QCOMPARE(table.name(), tableName);
    QCOMPARE(table.columnNames(), std::vector<std::string> { columnName });
    QCOMPARE(table.rowCount(), std::int64_t(1));
    auto rows = table.rows();
    QVERIFY(rows.next());
    QCOMPARE(rows.getText(columnName), std::string("value"));
    QVERIFY(db->tableExists("v"));
}

void KSqliteTest::invalidTable_data()
{
    QTest::addColumn<int>("database"); // 0 null, 1 unopened, 2 open
    QTest::addColumn<std::string>("tableName");
    QTest::newRow("null database") << 0 << std::string("v");
    QTest::newRow("unopened database") << 1 << std::string("v");
    QTest::newRow("missing table") << 2 << std::string("specialty");
    QTest::newRow("empty name") << 2 << std::string();
    QTest::newRow("SQL in the name") << 2 << std::string("v\"; DROP TABLE v; --");
}

void KSqliteTest::invalidTable()
{
    QFETCH(int, database);
    QFETCH(std::string, tableName);
    const auto db = memoryDb();
    KSqlDatabase unopened;
    KSqlDatabase* const chosen = database == 0 ? nullptr : database == 1 ? &unopened : db.get();

    const KSqlTable table(chosen, tableName, false);
    QVERIFY(!table.isValid());
    QCOMPARE(table.database(), chosen);
    QVERIFY(table.columnNames().empty());
    QCOMPARE(table.columnIndex("x"), -1);
    QCOMPARE(table.rowCount(), std::int64_t(0));
    auto rows = table.rows();
    QVERIFY(!rows.next());
    QCOMPARE(rows.columnCount(), 0);
    QVERIFY_EXCEPTION_THROWN(rows.getInt(0), KSqlException);
    const Raised mustExist = raised([&] { KSqlTable(chosen, tableName, true); });
    QVERIFY(mustExist.code != -1);
    QVERIFY2(mustExist.says(tableName), mustExist.msg.c_str());
    QVERIFY(db->tableExists("v"));
    QCOMPARE(KSqlTable().rowCount(), std::int64_t(0));
}

void KSqliteTest::tableFollowsChangesAndOutlivesDatabase()
{
    auto db = memoryDb("CREATE TABLE element_type (id INTEGER, name TEXT)");
    db->exec("INSERT INTO element_type VALUES (1, 'Wall'), (2, 'Door')");
    const KSqlTable table(db.get(), "ELEMENT_TYPE", false);
    QVERIFY(table.isValid());
    db->exec("INSERT INTO element_type VALUES (3, 'Slab')");
    QCOMPARE(table.rowCount(), std::int64_t(3));
    const KSqlTable copy = table;
    QCOMPARE(copy.rowCount(), std::int64_t(3));

    db->exec("CREATE VIEW names AS SELECT name AS label FROM element_type WHERE id > 1");
    const KSqlTable view(db.get(), "names", false);
    QCOMPARE(view.columnNames(), std::vector<std::string> { "label" });
    QCOMPARE(view.rowCount(), std::int64_t(2));

    auto rows = table.rows();
    QVERIFY(rows.next());
    db->Close();
    QVERIFY(table.isValid());
    QVERIFY_EXCEPTION_THROWN(table.rowCount(), KSqlException);
    QVERIFY_EXCEPTION_THROWN(table.rows(), KSqlException);
    QVERIFY_EXCEPTION_THROWN(rows.next(), KSqlException);
    db.reset();
    QVERIFY_EXCEPTION_THROWN(table.rowCount(), KSqlException);
}

QTEST_GUILESS_MAIN(KSqliteTest)

#include "tst_ksqlite.moc"
