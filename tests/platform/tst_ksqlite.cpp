// The SQLite wrapper as the library and the tools use it: opening, statements,
// transactions and tables, and what stays safe after a database is closed.
#include <ksqlite/KSQLite.h>

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <unistd.h>

using namespace KSQLite;

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

// A new database file, made the way the tools make theirs.
std::string createdFile(const QTemporaryDir& dir, const QString& name, const char* sql)
{
    const std::string path = dir.filePath(name).toStdString();
    KSqlDatabase(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE).exec(sql);
    return path;
}

std::unique_ptr<KSqlDatabase> memoryDb(const char* sql)
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
        QTest::newRow("missing file") << "missing.db" << QByteArray() << 14 << "unable to open";
        QTest::newRow("text file") << "notes.db" << QByteArray("No database here.\n").repeated(200)
                                   << 26 << "file is not a database";
        QTest::newRow("unreadable")
            << "locked.db" << QByteArray("locked") << 14 << "unable to open";
        QTest::newRow("folder") << "." << QByteArray() << 14 << "unable to open";
    }

    void openFailureCarriesSqliteMessage()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(int, errorCode);
        QFETCH(QString, sqliteMessage);
        QTemporaryDir dir;
        const QString path = dir.filePath(fileName);
        QFile file(path);
        if (!content.isEmpty())
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        if (fileName == "locked.db") {
            if (geteuid() == 0)
                QSKIP("root reads any file");
            QVERIFY(file.setPermissions(QFileDevice::WriteOwner));
        }
        const bool existed = file.exists();

        KSqlDatabase database;
        const Raised error = raised([&] { database.Open(path.toStdString(), true); });
        QVERIFY2(error.says(sqliteMessage.toStdString()) && error.says(path.toStdString()),
            error.msg.c_str());
        QCOMPARE(error.code, errorCode);
        QVERIFY(!database.isOpen() && database.handle() == nullptr);
        // Never created, never rewritten.
        QCOMPARE(file.exists(), existed);
        if (fileName == "locked.db")
            file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), content);
    }

    void statementsBindReadAndRefuseMisuse()
    {
        const auto db = memoryDb("CREATE TABLE v (i, big, d, t, n)");
        const std::string text = "墙 \"Wall\" 'x'; DROP TABLE v; --";
        KSqlStatement insert(*db, "INSERT INTO v VALUES (?, ?, ?, ?, NULL)");
        insert.bindInt(1, -7);
        insert.bindInt64(2, std::numeric_limits<std::int64_t>::max());
        insert.bindDouble(3, -0.125e-300);
        insert.bindText(4, text);
        QCOMPARE(insert.execute(), 1);
        // Ready again at once, bindings kept.
        insert.bindText(4, "");
        QCOMPARE(insert.execute(), 1);
        QCOMPARE(raised([&] { insert.bindInt(6, 1); }).code, 25);

        KSqlStatement select(*db, "SELECT * FROM v");
        QVERIFY(!select.hasRow());
        QCOMPARE(raised([&] { select.getInt(0); }).code, 21);
        QVERIFY(select.step());
        QCOMPARE(select.getInt(0), -7);
        QCOMPARE(select.getInt64(1), std::numeric_limits<std::int64_t>::max());
        QCOMPARE(select.getDouble(2), -0.125e-300);
        QCOMPARE(select.getText(select.columnIndex("T")), text);
        QVERIFY(select.isNull(4) && select.getInt64(4) == 0 && select.getText(4).empty());
        QVERIFY(select.columnType(2) == KSqlColumnType::Float);
        QCOMPARE(raised([&] { select.getInt(5); }).code, 25);
        QVERIFY_EXCEPTION_THROWN(select.getText(-1), KSqlException);
        QVERIFY_EXCEPTION_THROWN(select.columnIndex("x"), KSqlException);
        QVERIFY(select.step() && select.getText(3).empty());
        QVERIFY(!select.step());
        QVERIFY_EXCEPTION_THROWN(select.getInt(0), KSqlException);

        const Raised syntax = raised([&] { db->exec("SELEKT 1"); });
        QCOMPARE(syntax.code, 1);
        QVERIFY2(syntax.says("syntax error"), syntax.msg.c_str());
        // A second statement would silently never run.
        for (const char* sql : { "SELECT 1; DELETE FROM v", "  -- nothing", "SELECT FROM" })
            QVERIFY2(raised([&] { KSqlStatement(*db, sql); }).code != -1, sql);
        KSqlStatement(*db, "SELECT 1;; -- done");
        QVERIFY_EXCEPTION_THROWN(KSqlStatement(KSqlDatabase(), "SELECT 1"), KSqlException);
        QCOMPARE(firstValue(*db, "SELECT count(*) FROM v"), std::string("2"));
    }

    void transactionsRollBackUnlessCommitted()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("项目 一")));
        const std::string path
            = createdFile(dir, QStringLiteral("项目 一/模型.db"), "CREATE TABLE t (x INTEGER)");
        KSqlDatabase db;
        QVERIFY(db.Open(path, true));
        QCOMPARE(db.path(), path);
        {
            KSqlTransaction committed(db);
            QCOMPARE(db.exec("INSERT INTO t VALUES (1), (2)"), 2);
            committed.commit();
            QVERIFY_EXCEPTION_THROWN(committed.commit(), KSqlException);
        }
        try {
            KSqlTransaction interrupted(db);
            db.exec("INSERT INTO t VALUES (3)");
            db.exec("UPDATE t SET x = 5");
            throw std::runtime_error("interrupted");
        } catch (const std::runtime_error&) {
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
            QVERIFY_EXCEPTION_THROWN(outlivesClose.commit(), KSqlException);
        }
        db.Close();
        QCOMPARE(raised([&] { db.exec("SELECT 1"); }).code, 21);
        // A failed open leaves the database closed.
        QVERIFY_EXCEPTION_THROWN(db.Open(path + ".missing", true), KSqlException);
        QVERIFY(!db.isOpen() && db.path().empty());
        db.Open(path, true);
        QCOMPARE(firstValue(db, "SELECT group_concat(x) FROM t"), std::string("1,2,6"));
    }

    void tableNamesAreQuoted_data()
    {
        QTest::addColumn<std::string>("tableName");
        QTest::addColumn<std::string>("columnName");
        QTest::newRow("double quotes") << std::string("say \"hi\"") << std::string("\"");
        QTest::newRow("Chinese") << std::string("构件类型") << std::string("名称");
        QTest::newRow("SQL in the name")
            << std::string("t\"; DROP TABLE v; --") << std::string("x\" FROM v; --");
    }

    void tableNamesAreQuoted()
    {
        QFETCH(std::string, tableName);
        QFETCH(std::string, columnName);
        const auto db = memoryDb("CREATE TABLE v (x)");
        db->exec("CREATE TABLE " + quoteIdentifier(tableName) + " (id INTEGER, "
            + quoteIdentifier(columnName) + " TEXT)");
        db->exec("INSERT INTO " + quoteIdentifier(tableName) + " VALUES (1, 'a'), (2, 'b')");

        const KSqlTable table(db.get(), tableName, false);
        QVERIFY(table.isValid());
        QCOMPARE(table.name(), tableName);
        QCOMPARE(table.columnNames(), (std::vector<std::string> { "id", columnName }));
        QCOMPARE(table.columnIndex("ID"), 0);
        QCOMPARE(table.columnIndex("missing"), -1);
        QCOMPARE(table.rowCount(), std::int64_t(2));
        KSqlStatement rows = table.rows();
        QVERIFY(rows.step());
        QCOMPARE(rows.getInt64(0), std::int64_t(1));
        QCOMPARE(rows.getText(rows.columnIndex(columnName)), std::string("a"));
        QVERIFY(rows.step() && !rows.step());
        QCOMPARE(firstValue(*db, "SELECT count(*) FROM v"), std::string("0"));
    }

    void invalidTable_data()
    {
        QTest::addColumn<int>("database"); // 0 null, 1 unopened, 2 open
        QTest::addColumn<std::string>("tableName");
        QTest::newRow("null database") << 0 << std::string("v");
        QTest::newRow("unopened database") << 1 << std::string("v");
        QTest::newRow("missing table") << 2 << std::string("specialty");
        QTest::newRow("SQL in the name") << 2 << std::string("v\"; DROP TABLE v; --");
    }

    void invalidTable()
    {
        QFETCH(int, database);
        QFETCH(std::string, tableName);
        const auto db = memoryDb("CREATE TABLE v (x)");
        KSqlDatabase unopened;
        KSqlDatabase* const chosen = database == 0 ? nullptr : database == 1 ? &unopened : db.get();

        const KSqlTable table(chosen, tableName, false);
        QVERIFY(!table.isValid());
        QVERIFY(table.columnNames().empty());
        QCOMPARE(table.rowCount(), std::int64_t(0));
        KSqlStatement rows = table.rows();
        QVERIFY(!rows.step());
        QVERIFY_EXCEPTION_THROWN(rows.getInt(0), KSqlException);
        const Raised mustExist = raised([&] { KSqlTable(chosen, tableName, true); });
        QVERIFY2(mustExist.code != -1 && mustExist.says(tableName), mustExist.msg.c_str());
        QCOMPARE(firstValue(*db, "SELECT count(*) FROM sqlite_master"), std::string("1"));
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

        KSqlStatement rows = table.rows();
        QVERIFY(rows.step());
        KSqlStatement select(*db, "SELECT id FROM element_type");
        KSqlStatement moved(std::move(select));
        QVERIFY(moved.step());
        db->Close();
        QVERIFY(table.isValid());
        QCOMPARE(raised([&] { table.rowCount(); }).code, 21);
        QVERIFY_EXCEPTION_THROWN(table.rows(), KSqlException);
        QVERIFY_EXCEPTION_THROWN(rows.step(), KSqlException);
        db.reset();
        QVERIFY_EXCEPTION_THROWN(copy.rowCount(), KSqlException);
        QCOMPARE(raised([&] { moved.step(); }).code, 21);
        QVERIFY_EXCEPTION_THROWN(moved.reset(), KSqlException);
        QVERIFY_EXCEPTION_THROWN(moved.bindInt(1, 1), KSqlException);
        // The moved-from statement is empty, not dangling.
        QVERIFY(!select.step());
    }
};

QTEST_GUILESS_MAIN(KSqliteTest)

#include "tst_ksqlite.moc"
