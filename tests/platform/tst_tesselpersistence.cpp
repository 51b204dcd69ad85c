// Saving and loading model files: the round trip, atomic saving and every
// kind of damaged file.
#include <krvcommon/KRVException.h>
#include <tessel/Tessel.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>
#include <sqlite3.h>
#include <unistd.h>

namespace {

TesselModel newModel()
{
    return tesselEngine(QString()).createModel(true, VellEngine());
}

// A model with every data type, duplicate definitions, two databases, an
// empty table and texts beyond ASCII.
TesselModel sampleModel()
{
    TesselModel model = newModel();
    TesselExtPropDefs props = model.extPropDefs();
    for (const char* value : { "False", "True" }) {
        TesselExtPropDef definition = props.add();
        definition.setCode(QStringLiteral("IgnoreProcessInt64"));
        definition.setValue(QString::fromLatin1(value));
    }
    TesselDatabase db = model.addDatabase(QStringLiteral("DB"));
    TesselTable table = db.addTable(QStringLiteral("element_type"));
    TesselFieldSchemas fields = table.tableSchema().fieldSchemas();
    TesselFieldSchema id = fields.add(QStringLiteral("id"), tdtInt64);
    TesselExtPropDef marker = id.extPropDefs().add();
    marker.setCode(QStringLiteral("DataType"));
    marker.setValue(QStringLiteral("Int64"));
    fields.add(QStringLiteral("node_type"), tdtInt32);
    fields.add(QStringLiteral("name"), tdtString);
    fields.add(QStringLiteral("area"), tdtDouble);
    fields.add(QStringLiteral("visible"), tdtBoolean);
    fields.add(QStringLiteral("created"), tdtDateTime);
    fields.add(QStringLiteral("guid"), tdtGuid);
    table.tableSchema().setPrimaryKeyFieldIndex(0);
    for (int i = 0; i < 50; ++i) {
        TesselRecord record = table.appendRecord(0xF000000000000000ULL + quint64(i));
        record.setUInt64(0, 9007199254740993ULL + quint64(i));
        record.setInteger(1, 1 + i % 3);
        record.setString(2, i % 2 ? QStringLiteral("墙 %1").arg(i) : QString());
        record.setDouble(3, i * 0.1);
        record.setInteger(4, i % 2);
        record.setInt64(5, 1700000000000LL + i);
        record.setString(
            6, QStringLiteral("{00000000-0000-0000-0000-%1}").arg(i, 12, 10, QLatin1Char('0')));
    }
    db.addTable(QStringLiteral("empty"), ttkLink);
    model.addDatabase(QStringLiteral("Other")).addTable(QStringLiteral("specialty"), ttkLookup);
    model.setMode(tmRuntime);
    return model;
}

void compareModels(const TesselModel& a, const TesselModel& b)
{
    QCOMPARE(a.mode(), b.mode());
    QCOMPARE(a.extPropDefs().count(), b.extPropDefs().count());
    for (int i = 0; i < a.extPropDefs().count(); ++i) {
        QCOMPARE(a.extPropDefs().items(i).code(), b.extPropDefs().items(i).code());
        QCOMPARE(a.extPropDefs().items(i).value(), b.extPropDefs().items(i).value());
    }
    QCOMPARE(a.databaseCount(), b.databaseCount());
    for (int d = 0; d < a.databaseCount(); ++d) {
        QCOMPARE(a.databases(d).name(), b.databases(d).name());
        const TesselTables ta = a.databases(d).tables();
        const TesselTables tb = b.databases(d).tables();
        QCOMPARE(ta.count(), tb.count());
        for (int t = 0; t < ta.count(); ++t) {
            const TesselTable x = ta.items(t);
            const TesselTable y = tb.items(t);
            QCOMPARE(x.name(), y.name());
            QCOMPARE(x.tableKind(), y.tableKind());
            QCOMPARE(
                x.tableSchema().primaryKeyFieldIndex(), y.tableSchema().primaryKeyFieldIndex());
            const TesselFieldSchemas fx = x.tableSchema().fieldSchemas();
            const TesselFieldSchemas fy = y.tableSchema().fieldSchemas();
            QCOMPARE(fx.count(), fy.count());
            for (int f = 0; f < fx.count(); ++f) {
                QCOMPARE(fx.items(f).name(), fy.items(f).name());
                QCOMPARE(fx.items(f).dataType(), fy.items(f).dataType());
                QCOMPARE(fx.items(f).extPropDefs().count(), fy.items(f).extPropDefs().count());
            }
            QCOMPARE(x.recordCount(), y.recordCount());
            for (int r = 0; r < x.recordCount(); ++r) {
                QCOMPARE(x[r].id64(), y[r].id64());
                QVERIFY2(x[r].sameValues(y[r]),
                    qPrintable(QStringLiteral("record %1 of %2").arg(r).arg(x.name())));
            }
        }
    }
}

struct SqliteCloser
{
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};

// Runs SQL on a saved model file, to damage it in one precise way.
void alter(const QString& path, const char* sql)
{
    sqlite3* raw = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &raw), SQLITE_OK);
    std::unique_ptr<sqlite3, SqliteCloser> db(raw);
    char* error = nullptr;
    const int result = sqlite3_exec(raw, sql, nullptr, nullptr, &error);
    const QString message = QString::fromUtf8(error ? error : "");
    sqlite3_free(error);
    QVERIFY2(result == SQLITE_OK, qPrintable(message));
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

using Damage = std::function<void(const QString&)>;

} // namespace

Q_DECLARE_METATYPE(Damage)

class TestTesselPersistence : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("m.Tessel"));
        const TesselModel original = sampleModel();
        TesselModelPersistent(original).saveToFile(path);

        TesselModel loaded = newModel();
        QVERIFY(TesselModelPersistent(loaded).loadFromFile(path, false, true));
        compareModels(original, loaded);
        const TesselTable table
            = loaded.findTable(QStringLiteral("DB"), QStringLiteral("element_type"));
        QCOMPARE(table[1].asString(QStringLiteral("name")), QStringLiteral("墙 1"));
        QCOMPARE(table[0].asUInt64(QStringLiteral("id")), 9007199254740993ULL);
        QCOMPARE(table[49].id64(), 0xF000000000000031ULL);
        QCOMPARE(table.tableSchema()
                     .fieldSchemas()
                     .items(0)
                     .extPropDefs()
                     .find(QStringLiteral("DataType"))
                     .value(),
            QStringLiteral("Int64"));
        // Saving what was loaded gives the same model again.
        const QString second = dir.filePath(QStringLiteral("again.Tessel"));
        TesselModelPersistent(loaded).saveToFile(second);
        TesselModel reloaded = newModel();
        TesselModelPersistent(reloaded).loadFromFile(second);
        compareModels(original, reloaded);
    }

    void loadFlags()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("m.Tessel"));
        TesselModelPersistent(sampleModel()).saveToFile(path);

        TesselModel readOnly = newModel();
        TesselModelPersistent(readOnly).loadFromFile(path, true, true);
        QCOMPARE(readOnly.mode(), tmReadOnly);

        TesselModel schemaOnly = newModel();
        TesselModelPersistent(schemaOnly).loadFromFile(path, false, false);
        const TesselTable table
            = schemaOnly.findTable(QStringLiteral("DB"), QStringLiteral("element_type"));
        QCOMPARE(table.recordCount(), 0);
        QCOMPARE(table.tableSchema().fieldSchemas().count(), 7);
    }

    void loadReplacesTheModelAndCountsAsOneChange()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("m.Tessel"));
        TesselModelPersistent(sampleModel()).saveToFile(path);

        TesselModel model = newModel();
        const TesselTable old
            = model.addDatabase(QStringLiteral("DB")).addTable(QStringLiteral("old"));
        model.fetchCommand();
        TesselModelPersistent(model).loadFromFile(path);
        QCOMPARE(model.fetchCommand().changeCount(), 1);
        QVERIFY(model.findTable(QStringLiteral("DB"), QStringLiteral("old")).isNull());
        QCOMPARE(old.name(), QStringLiteral("old"));
        QCOMPARE(model.databaseCount(), 2);
    }

    void saveIsAtomic()
    {
        if (geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("ro"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/m.Tessel");
        TesselModel small = newModel();
        TesselModelPersistent(small).saveToFile(path);
        const QByteArray before = [&] {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        try {
            TesselModelPersistent(sampleModel()).saveToFile(path);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QFAIL("saving into a read-only folder should fail");
        } catch (const KRVException& e) {
            QVERIFY2(e.message().contains(path), qPrintable(e.message()));
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile after(path);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void saveReplacesAndLeavesNoTemporaryFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("m.Tessel"));
        TesselModelPersistent(newModel()).saveToFile(path);
        TesselModelPersistent(sampleModel()).saveToFile(path);
        TesselModel loaded = newModel();
        TesselModelPersistent(loaded).loadFromFile(path);
        QCOMPARE(loaded.databaseCount(), 2);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList { QStringLiteral("m.Tessel") });
        QVERIFY_EXCEPTION_THROWN(TesselModelPersistent(newModel())
                                     .saveToFile(dir.filePath(QStringLiteral("none/m.Tessel"))),
            KRVException);
    }

    void damagedFiles_data()
    {
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<QString>("fault");

        QTest::newRow("missing") << Damage([](const QString& path) { QFile::remove(path); })
                                 << QStringLiteral("does not exist");
        QTest::newRow("empty") << Damage([](const QString& path) {
            writeBytes(path, QByteArray());
        }) << QStringLiteral("empty");
        QTest::newRow("not SQLite") << Damage([](const QString& path) {
            writeBytes(path, QByteArray("{\"mode\": 2}\n").repeated(100));
        }) << QStringLiteral("not an SQLite database");
        QTest::newRow("another layout") << Damage([](const QString& path) {
            QFile::remove(path);
            alter(path, "CREATE TABLE project(id INTEGER)");
        }) << QStringLiteral("another layout");
        QTest::newRow("another version")
            << Damage([](const QString& path) { alter(path, "PRAGMA user_version = 2"); })
            << QStringLiteral("version 2");
        QTest::newRow("truncated") << Damage([](const QString& path) {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            const QByteArray bytes = file.readAll();
            file.close();
            writeBytes(path, bytes.left(bytes.size() / 2));
        }) << QStringLiteral("truncated");
        QTest::newRow("truncated header") << Damage([](const QString& path) {
            writeBytes(path, QByteArray("SQLite format 3\0\x10\0", 18));
        }) << QStringLiteral("truncated");
        QTest::newRow("primary key out of range") << Damage([](const QString& path) {
            alter(path, "UPDATE tessel_tables SET primary_key = 7 WHERE name = 'element_type'");
        }) << QStringLiteral("primary-key field index out of range");
        QTest::newRow("primary key below -1") << Damage([](const QString& path) {
            alter(path, "UPDATE tessel_tables SET primary_key = -2 WHERE name = 'element_type'");
        }) << QStringLiteral("primary-key field index out of range");
        QTest::newRow("too many values") << Damage([](const QString& path) {
            alter(path, "ALTER TABLE tessel_records_0 ADD COLUMN f7 INTEGER NOT NULL DEFAULT 0");
        }) << QStringLiteral("hold 8 values each; its schema has 7 fields");
        QTest::newRow("too few values") << Damage([](const QString& path) {
            alter(path,
                "DELETE FROM tessel_field_props WHERE field_position = 6;"
                "DELETE FROM tessel_fields WHERE table_position = 0 AND position = 6");
        }) << QStringLiteral("hold 7 values each; its schema has 6 fields");
        QTest::newRow("record count") << Damage([](const QString& path) {
            alter(path, "DELETE FROM tessel_records_0 WHERE position = 3");
        }) << QStringLiteral("holds 49 records; its catalog counts 50");
        QTest::newRow("record table missing")
            << Damage([](const QString& path) { alter(path, "DROP TABLE tessel_records_1"); })
            << QStringLiteral("records of table \"empty\" cannot be read");
        QTest::newRow("unknown data type") << Damage([](const QString& path) {
            alter(path, "UPDATE tessel_fields SET data_type = 9 WHERE position = 1");
        }) << QStringLiteral("unknown data type 9");
        QTest::newRow("table of no database") << Damage([](const QString& path) {
            alter(path, "UPDATE tessel_tables SET database_position = 5 WHERE position = 0");
        }) << QStringLiteral("database 5, which does not exist");
        QTest::newRow("gap in field positions") << Damage([](const QString& path) {
            alter(path,
                "UPDATE tessel_fields SET position = 9 WHERE table_position = 0 AND position = 6");
        }) << QStringLiteral("field position");
        QTest::newRow("duplicate table") << Damage([](const QString& path) {
            alter(path, "UPDATE tessel_tables SET name = 'element_type' WHERE name = 'empty'");
        }) << QStringLiteral("already has a table");
        QTest::newRow("trigger") << Damage([](const QString& path) {
            alter(path, "CREATE TRIGGER t AFTER INSERT ON tessel_model BEGIN SELECT 1; END");
        }) << QStringLiteral("views or triggers");
    }

    void damagedFiles()
    {
        QFETCH(Damage, damage);
        QFETCH(QString, fault);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("KBMProjectTemplate.Tessel"));
        TesselModelPersistent(sampleModel()).saveToFile(path);
        damage(path);

        // What the model held before stays whole.
        TesselModel model = newModel();
        model.addDatabase(QStringLiteral("Before"));
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
