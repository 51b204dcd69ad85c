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

Q_DECLARE_METATYPE(std::string)

namespace {

using Bytes = std::vector<unsigned char>;

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

std::unique_ptr<KSqlDatabase> memoryDb(const char* sql = "CREATE TABLE v (x)")
{
    auto db = std::make_unique<KSqlDatabase>();
    db->Open(":memory:", true);
    db->exec(sql);
    return db;
}

std::string firstValue(const KSqlDatabase& db, const std::string& sql)
{
    KSqlStatement statement(db, sql);
    return statement.step() ? statement.getText(0) : std::string("<no row>");
}

} // namespace

class KSqliteTest : public QObject
{
    Q_OBJECT

private slots:
    void openFailureCarriesSqliteMessage_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content"); // empty: the file is not made
        QTest::addColumn<int>("errorCode");
        QTest::addColumn<QString>("sqliteMessage");
        QTest::newRow("missing file")
            << "missing.db" << QByteArray() << 14 << "unable to open database file";
        QTest::newRow("text file") << "notes.db" << QByteArray("No database here.\n").repeated(200)
                                   << 26 << "file is not a database";
        QTest::newRow("short garbage")
            << "short.db" << QByteArray("SQLite format 2\0", 16) << 26 << "file is not a database";
        QTest::newRow("unreadable") << "locked.db" << QByteArray() << 14 << "unable to open";
    }

    void openFailureCarriesSqliteMessage()
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
        QVERIFY2(
            error.says(sqliteMessage.toStdString()) && error.says(utf8(path)), error.msg.c_str());
        QCOMPARE(error.code, errorCode);
        QVERIFY(!database.isOpen() && database.handle() == nullptr);
        // Never created, never rewritten.
        QCOMPARE(QFile::exists(path), existed);
        QFile file(path);
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), content);
    }

    void opensUnicodePathReadOnlyAndReopens()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("项目 一")));
        const std::string path
            = utf8(createEmptyDatabaseFile(dir, QStringLiteral("项目 一/模型.db")));
        {
            KSqlDatabase database;
            QVERIFY(database.Open(path, true));
            QCOMPARE(database.path(), path);
            database.exec("CREATE TABLE project (id INTEGER, name TEXT)");
            QCOMPARE(database.exec("INSERT INTO project VALUES (7, 'x'), (8, 'y')"), 2);
            QCOMPARE(database.lastInsertRowId(), std::int64_t(2));
        }
        KSqlDatabase reader;
        reader.Open(path, false);
        QVERIFY(reader.tableExists("PROJECT"));
        QVERIFY(!reader.tableExists("projects"));
        QCOMPARE(firstValue(reader, "SELECT count(*) FROM project"), std::string("2"));
        const Raised write = raised([&] { reader.exec("INSERT INTO project VALUES (1, 'z')"); });
        QCOMPARE(write.code, 8);
        QVERIFY2(write.says("readonly"), write.msg.c_str());

        // Opening another file closes the first; its statements refuse to run.
        KSqlStatement fromFirst(reader, "SELECT * FROM project");
        const std::string other = utf8(createEmptyDatabaseFile(dir, "other.db"));
        reader.Open(other, true);
        QCOMPARE(reader.path(), other);
        QVERIFY(!reader.tableExists("project"));
        QVERIFY_EXCEPTION_THROWN(fromFirst.step(), KSqlException);
        // A failed open leaves the database closed.
        QVERIFY_EXCEPTION_THROWN(
            reader.Open(utf8(dir.filePath("missing.db")), true), KSqlException);
        QVERIFY(!reader.isOpen() && reader.path().empty());
        QVERIFY_EXCEPTION_THROWN(reader.Open(utf8(dir.path()), true), KSqlException);
        QVERIFY_EXCEPTION_THROWN(reader.Open("", true), KSqlException);
    }

    void closedDatabaseAndBadSqlRaise()
    {
        KSqlDatabase database;
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
        QVERIFY(
            raised([&] { database.exec("SELECT * FROM nowhere"); }).says("no such table: nowhere"));
        for (const char* sql : { "SELECT 1; DELETE FROM v", "  -- nothing", "SELECT FROM" })
            QVERIFY2(raised([&] { KSqlStatement(database, sql); }).code != -1, sql);
        KSqlStatement(database, "SELECT 1;; -- done\n /* end */");
    }

    void bindsAndReadsEachType()
    {
        // No declared types: each value keeps the storage class it was bound with.
        const auto db = memoryDb("CREATE TABLE v (i, big, d, t, b, n)");
        const std::string text = "墙 \"Wall\" 'x'; DROP TABLE v; --";
        const Bytes blob { 0, 1, 2, 0, 0xff };
        KSqlStatement insert(*db, "INSERT INTO v VALUES (?, ?, ?, ?, ?, :n)");
        QCOMPARE(insert.parameterCount(), 6);
        insert.bindInt(1, std::numeric_limits<int>::min());
        insert.bindInt64(2, std::numeric_limits<std::int64_t>::max());
        insert.bindDouble(3, -0.125e-300);
        insert.bindText(4, text);
        insert.bindBlob(5, blob);
        insert.bindNull(insert.parameterIndex(":n"));
        QCOMPARE(insert.execute(), 1);
        insert.reset();
        insert.bindText(4, "");
        insert.bindBlob(5, Bytes());
        insert.execute();

        KSqlStatement select(*db, "SELECT * FROM v");
        QVERIFY(select.step());
        QCOMPARE(select.getInt(0), std::numeric_limits<int>::min());
        QCOMPARE(select.getInt64(1), std::numeric_limits<std::int64_t>::max());
        QCOMPARE(select.getDouble(2), -0.125e-300);
        QCOMPARE(select.getText(3), text);
        QVERIFY(select.getBlob(4) == blob);
        QVERIFY(select.isNull(5) && select.getInt64(5) == 0 && select.getText(5).empty());
        const KSqlColumnType types[]
            = { KSqlColumnType::Integer, KSqlColumnType::Integer, KSqlColumnType::Float,
                  KSqlColumnType::Text, KSqlColumnType::Blob, KSqlColumnType::Null };
        for (int column = 0; column < 6; ++column)
            QVERIFY(select.columnType(column) == types[column]);
        QVERIFY(select.step());
        QVERIFY(select.getText(3).empty() && select.getBlob(4).empty());
        QVERIFY(select.columnType(3) == KSqlColumnType::Text);
        QVERIFY(select.columnType(4) == KSqlColumnType::Blob);
        QVERIFY(!select.step());
        QVERIFY(db->tableExists("v"));
    }

    void parametersAndColumns()
    {
        const auto db = memoryDb();
        KSqlStatement insert(*db, "INSERT INTO v VALUES (:value)");
        QCOMPARE(raised([&] { insert.bindInt(2, 1); }).code, 25);
        QVERIFY_EXCEPTION_THROWN(insert.bindText(0, "x"), KSqlException);
        QVERIFY_EXCEPTION_THROWN(insert.parameterIndex(":other"), KSqlException);
        for (int i = 1; i <= 3; ++i) {
            insert.bindInt(1, i * 10);
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

    void transactions()
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
        QCOMPARE(firstValue(db, "SELECT group_concat(x) FROM t"), std::string("1,2,6"));
    }

    void readsColumnsAndTypedRows()
    {
        const auto db = memoryDb("CREATE TABLE element_type (id INTEGER PRIMARY KEY, big INTEGER,"
                                 " ratio REAL, name TEXT, icon BLOB, note TEXT)");
        db->exec("INSERT INTO element_type VALUES (1, 9223372036854775807, 0.5, '墙', x'000102',"
                 " NULL), (2, -1, 2.25, 'Door', NULL, NULL)");
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
        QCOMPARE(rows.getInt64("Big"), std::numeric_limits<std::int64_t>::max());
        QCOMPARE(rows.getDouble(2), 0.5);
        QCOMPARE(QString::fromStdString(rows.getText("name")), QStringLiteral("墙"));
        QVERIFY(rows.getBlob("icon") == (Bytes { 0, 1, 2 }));
        QVERIFY(rows.isNull("note"));
        QVERIFY(rows.columnType("ratio") == KSqlColumnType::Float);
        QVERIFY_EXCEPTION_THROWN(rows.getInt("nope"), KSqlException);
        QVERIFY(rows.next());
        QCOMPARE(rows.getInt64(1), std::int64_t(-1));
        QVERIFY(rows.columnType(4) == KSqlColumnType::Null);
        QVERIFY(!rows.next());
        QVERIFY_EXCEPTION_THROWN(rows.getInt(0), KSqlException);
    }

    void oddNamesAreQuoted_data()
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

    void oddNamesAreQuoted()
    {
        QFETCH(std::string, tableName);
        QFETCH(std::string, columnName);
        QCOMPARE(quoteIdentifier("a\"b"), std::string("\"a\"\"b\""));
        const auto db = memoryDb();
        db->exec("CREATE TABLE " + quoteIdentifier(tableName) + " (" + quoteIdentifier(columnName)
            + " TEXT)");
        db->exec("INSERT INTO " + quoteIdentifier(tableName) + " VALUES ('value')");

        const KSqlTable table(db.get(), tableName, true);
        QCOMPARE(table.name(), tableName);
        QCOMPARE(table.columnNames(), std::vector<std::string> { columnName });
        QCOMPARE(table.rowCount(), std::int64_t(1));
        auto rows = table.rows();
        QVERIFY(rows.next());
        QCOMPARE(rows.getText(columnName), std::string("value"));
        QVERIFY(db->tableExists("v"));
    }

    void invalidTable_data()
    {
        QTest::addColumn<int>("database"); // 0 null, 1 unopened, 2 open
        QTest::addColumn<std::string>("tableName");
        QTest::newRow("null database") << 0 << std::string("v");
        QTest::newRow("unopened database") << 1 << std::string("v");
        QTest::newRow("missing table") << 2 << std::string("specialty");
        QTest::newRow("empty name") << 2 << std::string();
        QTest::newRow("SQL in the name") << 2 << std::string("v\"; DROP TABLE v; --");
    }

    void invalidTable()
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
        QVERIFY2(mustExist.code != -1 && mustExist.says(tableName), mustExist.msg.c_str());
        QVERIFY(db->tableExists("v"));
        QCOMPARE(KSqlTable().rowCount(), std::int64_t(0));
    }

    void handlesFollowChangesAndOutliveTheDatabase()
    {
        auto db = memoryDb("CREATE TABLE element_type (id INTEGER, name TEXT)");
        db->exec("INSERT INTO element_type VALUES (1, 'Wall'), (2, 'Door')");
        const KSqlTable table(db.get(), "ELEMENT_TYPE", false);
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
        KSqlStatement select(*db, "SELECT id FROM element_type");
        QVERIFY(select.step());
        KSqlStatement moved(std::move(select));
        QCOMPARE(moved.getInt(0), 1);
        db->Close();
        QVERIFY(table.isValid());
        QVERIFY_EXCEPTION_THROWN(table.rowCount(), KSqlException);
        QVERIFY_EXCEPTION_THROWN(table.rows(), KSqlException);
        QVERIFY_EXCEPTION_THROWN(rows.next(), KSqlException);
        db.reset();
        QVERIFY_EXCEPTION_THROWN(table.rowCount(), KSqlException);
        QCOMPARE(raised([&] { moved.step(); }).code, 21);
        QVERIFY_EXCEPTION_THROWN(moved.reset(), KSqlException);
        QVERIFY_EXCEPTION_THROWN(select.step(), KSqlException);
    }
};

QTEST_GUILESS_MAIN(KSqliteTest)

#include "tst_ksqlite.moc"
