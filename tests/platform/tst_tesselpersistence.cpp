// Saving and loading model files: the round trip, a save that fails or is
// killed, and every kind of damaged file.
#include "TesselModels.h"

#include <krvcommon/KRVException.h>
#include <ksqlite/KSqlDatabase.h>
#include <tessel/Tessel.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

using TesselModels::loaded;
using TesselModels::newModel;

namespace {

// A model with every data type, duplicate definitions, two databases, an
// empty table and texts beyond ASCII.
TesselModel sampleModel(int records = 50)
{
    TesselModel model = newModel();
    for (const char* value : { "False", "True" }) {
        TesselExtPropDef definition = model.extPropDefs().add();
        definition.setCode("IgnoreProcessInt64");
        definition.setValue(QString::fromLatin1(value));
    }
    TesselDatabase db = model.addDatabase("DB");
    TesselTable table = db.addTable("element_type");
    TesselFieldSchemas fields = table.tableSchema().fieldSchemas();
    TesselExtPropDef marker = fields.add("id", tdtInt64).extPropDefs().add();
    marker.setCode("DataType");
    marker.setValue("Int64");
    for (const TesselDataType type :
        { tdtInt32, tdtString, tdtDouble, tdtBoolean, tdtDateTime, tdtGuid })
        fields.add(QStringLiteral("f%1").arg(fields.count()), type);
    table.tableSchema().setPrimaryKeyFieldIndex(0);
    for (int i = 0; i < records; ++i) {
        TesselRecord record = table.appendRecord(0xF000000000000000ULL + quint64(i));
        record.setUInt64(0, 9007199254740993ULL + quint64(i));
        record.setInteger(1, 1 + i % 3);
        record.setString(2, i % 2 ? QStringLiteral("墙 %1").arg(i) : QString());
        record.setDouble(3, i * 0.1);
        record.setInteger(4, i % 2);
        record.setInt64(5, 1700000000000LL + i);
        record.setString(
            6, QStringLiteral("{00000000-0000-0000-0000-%1}").arg(i, 12, 10, QChar('0')));
    }
    db.addTable("empty", ttkLink);
    model.addDatabase("Other").addTable("specialty", ttkLookup);
    model.setMode(tmRuntime);
    return model;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

// Damages a saved model file in one precise way: SQL run on it, or one of
// the named faults.
void damage(const QString& path, const QString& how)
{
    if (how == "missing") {
        QFile::remove(path);
    } else if (how == "empty") {
        writeBytes(path, QByteArray());
    } else if (how == "text") {
        writeBytes(path, QByteArray("{\"mode\": 2}\n").repeated(100));
    } else if (how == "header") {
        writeBytes(path, QByteArray("SQLite format 3\0\x10\0", 18));
    } else if (how == "half") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(file.size() / 2));
    } else {
        if (how.startsWith("CREATE TABLE project"))
            writeBytes(path, QByteArray());
        KSQLite::KSqlDatabase(path.toStdString(), SQLITE_OPEN_READWRITE).exec(how.toStdString());
    }
}

} // namespace

class TestTesselPersistence : public QObject
{
    Q_OBJECT

private slots:
    void roundTripAndLoadFlags()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("m.Tessel");
        TesselModelPersistent(sampleModel()).saveToFile(path);

        TesselModel model = newModel();
        const TesselTable old = model.addDatabase("DB").addTable("old");
        QVERIFY(TesselModelPersistent(model).loadFromFile(path, false, true));
        // Loading replaces what the model held; handles to it stay usable.
        QVERIFY(model.findTable("DB", "old").isNull());
        QCOMPARE(old.name(), QStringLiteral("old"));
        QCOMPARE(model.databaseCount(), 2);
        QCOMPARE(model.mode(), tmRuntime);
        QCOMPARE(model.extPropDefs().items(1).value(), QStringLiteral("True"));
        QCOMPARE(model.databases(1).tables().items(0).tableKind(), ttkLookup);
        const TesselTable table = model.findTable("DB", "element_type");
        QCOMPARE(table.recordCount(), 50);
        QCOMPARE(table[1].asString(QStringLiteral("f2")), QStringLiteral("墙 1"));
        QCOMPARE(table[0].asUInt64(QStringLiteral("id")), 9007199254740993ULL);
        QCOMPARE(table[49].id64(), 0xF000000000000031ULL);
        QCOMPARE(table.tableSchema().fieldSchemas().items(0).extPropDefs().find("DataType").value(),
            "Int64");
        // Saving what was loaded writes the same file again: nothing was lost.
        const QString second = dir.filePath("again.Tessel");
        TesselModelPersistent(model).saveToFile(second);
        QCOMPARE(readAll(second), readAll(path));

        QCOMPARE(loaded(path, true).mode(), tmReadOnly);
        const TesselTable schemaOnly = loaded(path, false, false).findTable("DB", "element_type");
        QCOMPARE(schemaOnly.recordCount(), 0);
        QCOMPARE(schemaOnly.tableSchema().fieldSchemas().count(), 7);
    }

    void failedSaveLeavesTheOldFile()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("ro");
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + "/m.Tessel";
        TesselModelPersistent(newModel()).saveToFile(path);
        TesselModelPersistent(sampleModel()).saveToFile(path);
        QCOMPARE(loaded(path).databaseCount(), 2);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList { "m.Tessel" });
        QVERIFY_EXCEPTION_THROWN(
            TesselModelPersistent(newModel()).saveToFile(dir.filePath("none/m.Tessel")),
            KRVException);
        QVERIFY_EXCEPTION_THROWN(
            TesselModelPersistent(newModel()).saveToFile(folder), KRVException);

        if (geteuid() == 0)
            QSKIP("root writes into read-only folders");
        const QByteArray bytes = readAll(path);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        QString error;
        try {
            TesselModelPersistent(newModel()).saveToFile(path);
        } catch (const KRVException& e) {
            error = e.message();
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(error.contains(path), qPrintable(error));
        QCOMPARE(readAll(path), bytes);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void killedSaveLeavesOldOrNew()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("m.Tessel");
        const TesselModel big = sampleModel(40000);
        QElapsedTimer timer;
        timer.start();
        TesselModelPersistent(big).saveToFile(path);
        const qint64 saveMs = std::max<qint64>(timer.elapsed(), 10);
        TesselModelPersistent(sampleModel()).saveToFile(path);

        // Kills spread over one save, so that some land in the rename.
        for (int kill = 0; kill < 12; ++kill) {
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                TesselModelPersistent(big).saveToFile(path);
                _exit(0);
            }
            QThread::usleep(static_cast<unsigned long>(saveMs * 1000 * kill / 10));
            ::kill(child, SIGKILL);
            QCOMPARE(waitpid(child, nullptr, 0), child);
            const int records = loaded(path).findTable("DB", "element_type").recordCount();
            QVERIFY2(records == 50 || records == 40000, qPrintable(QString::number(records)));
        }
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("fault");
        // Name, the damage (SQL run on the file or a named fault), what the
        // message must say.
        const char* const rows[][3] = {
            { "missing", "missing", "does not exist" },
            { "empty", "empty", "empty" },
            { "not SQLite", "text", "not an SQLite database" },
            { "another layout", "CREATE TABLE project(id INTEGER)", "another layout" },
            { "another version", "PRAGMA user_version = 2", "version 2" },
            { "truncated", "half", "truncated" },
            { "truncated header", "header", "truncated" },
            { "primary key out of range",
                "UPDATE tessel_tables SET primary_key = 7 WHERE position = 0",
                "primary-key field index out of range" },
            { "primary key below -1",
                "UPDATE tessel_tables SET primary_key = -2 WHERE position = 0",
                "primary-key field index out of range" },
            { "too many values",
                "ALTER TABLE tessel_records_0 ADD COLUMN f7 INTEGER NOT NULL DEFAULT 0",
                "hold 8 values each; its schema has 7 fields" },
            { "too few values",
                "DELETE FROM tessel_fields WHERE table_position = 0 AND position = 6",
                "hold 7 values each; its schema has 6 fields" },
            { "fewer records", "DELETE FROM tessel_records_0 WHERE position = 3",
                "holds 49 records; its catalog counts 50" },
            { "more records", "UPDATE tessel_tables SET record_count = 2 WHERE position = 0",
                "more records than its catalog counts (2)" },
            { "record table missing", "DROP TABLE tessel_records_1",
                "records of table \"empty\" cannot be read" },
            { "unknown data type", "UPDATE tessel_fields SET data_type = 9 WHERE position = 1",
                "unknown data type 9" },
            { "table of no database",
                "UPDATE tessel_tables SET database_position = 5 WHERE position = 0",
                "database 5, which does not exist" },
            { "gap in field positions",
                "UPDATE tessel_fields SET position = 9 WHERE table_position = 0 AND position = 6",
                "field position" },
            { "property of no field", "UPDATE tessel_field_props SET field_position = 9",
                "field 9 of table" },
            { "duplicate table",
                "UPDATE tessel_tables SET name = 'element_type' WHERE position = 1",
                "already has a table" },
            { "trigger", "CREATE TRIGGER t AFTER INSERT ON tessel_model BEGIN SELECT 1; END",
                "views or triggers" },
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2]);
    }

    void damagedFiles()
    {
        QFETCH(QString, how);
        QFETCH(QString, fault);
        QTemporaryDir dir;
        const QString path = dir.filePath("KBMProjectTemplate.Tessel");
        TesselModelPersistent(sampleModel()).saveToFile(path);
        damage(path, how);

        // What the model held before stays whole.
        TesselModel model = newModel();
        model.addDatabase("Before");
        model.setMode(tmRuntime);
        try {
            TesselModelPersistent(model).loadFromFile(path, false, true);
            QFAIL("loading should have failed");
        } catch (const KRVException& e) {
            QVERIFY2(e.message().contains(path), qPrintable(e.message()));
            QVERIFY2(e.message().contains(fault), qPrintable(e.message()));
        }
        QCOMPARE(model.databaseCount(), 1);
        QCOMPARE(model.databases(0).name(), QStringLiteral("Before"));
        QCOMPARE(model.mode(), tmRuntime);
    }
};

QTEST_GUILESS_MAIN(TestTesselPersistence)
#include "tst_tesselpersistence.moc"
