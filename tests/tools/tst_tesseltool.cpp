// The tessel tool: build and dump give back the JSON form, bad JSON is
// reported with its place, and gen writes a usable project folder.
#include "JsonError.h"
#include "ModelJson.h"
#include "TesselToolSamples.h"

#include <krvcommon/KRVException.h>
#include <tessel/Tessel.h>

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sqlite3.h>

namespace {

struct ToolRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun runTool(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(TESSEL_TOOL), arguments);
    process.waitForFinished(120000);
    ToolRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

TesselModel load(const QString& path)
{
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
    TesselModelPersistent(model).loadFromFile(path, false, true);
    return model;
}

} // namespace

class TestTesselTool : public QObject
{
    Q_OBJECT

private slots:
    void buildThenDumpGivesTheInputBack()
    {
        QTemporaryDir dir;
        const QString input = writeFile(dir, QStringLiteral("in.json"), canonicalJson);
        const QString model = dir.filePath(QStringLiteral("m.Tessel"));
        const ToolRun built = runTool({ QStringLiteral("build"), input, model });
        QVERIFY2(built.exitCode == 0, built.err.constData());
        const ToolRun dumped = runTool({ QStringLiteral("dump"), model });
        QVERIFY2(dumped.exitCode == 0, dumped.err.constData());
        QCOMPARE(QString::fromUtf8(dumped.out), QString::fromUtf8(canonicalJson));

        // The values above 2^53 were stored exactly, not through a double.
        const TesselTable table
            = load(model).findTable(QStringLiteral("DB"), QStringLiteral("element_type"));
        QCOMPARE(table[0].asUInt64(QStringLiteral("id")), 9007199254740993ULL);
        QCOMPARE(table[1].id64(), 18446744073709551615ULL);
    }

    void shorthandsMeanTheSameModel()
    {
        // Type numbers, decimal strings and omitted defaults.
        const QByteArray shorthand = shorthandJson;
        const TesselModel model = ModelJson::fromJson(shorthand);
        const TesselTable table = model.findTable(QStringLiteral("DB"), QStringLiteral("t"));
        QCOMPARE(model.mode(), tmDesign);
        QCOMPARE(table.tableSchema().primaryKeyFieldIndex(), -1);
        QCOMPARE(int(table.tableSchema().fieldSchemas().items(0).dataType()), 15);
        QCOMPARE(table[0].id64(), 9007199254740993ULL);
        QCOMPARE(table[0].asInt64(0), 9007199254740993LL);
        QCOMPARE(table[0].asInteger(1), 7);
    }

    void badJsonIsPlaced_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("fault");
        QTest::newRow("syntax") << QByteArray("{\"mode\": 2,\n \"databases\": [1,}") << 2 << 18
                                << QStringLiteral("a value expected");
        QTest::newRow("unterminated") << QByteArray("{\"mode\": 2,\n  \"databases\": [") << 2 << 17
                                      << QStringLiteral("unexpected end");
        QTest::newRow("unknown type")
            << QByteArray("{\"databases\": [{\"name\": \"DB\", \"tables\": [{\"name\": \"t\",\n"
                          " \"fields\": [{\"name\": \"a\", \"type\": \"int33\"}]}]}]}")
            << 2 << 35 << QStringLiteral("unknown type \"int33\"");
        QTest::newRow("value count")
            << QByteArray("{\"databases\": [{\"name\": \"DB\", \"tables\": [{\"name\": \"t\",\n"
                          " \"fields\": [{\"name\": \"a\", \"type\": \"int32\"}],\n"
                          " \"records\": [{\"id64\": 1, \"values\": [1, 2]}]}]}]}")
            << 3 << 36 << QStringLiteral("has 2 values; the table has 1 fields");
        QTest::newRow("value out of range")
            << QByteArray("{\"databases\": [{\"name\": \"DB\", \"tables\": [{\"name\": \"t\",\n"
                          " \"fields\": [{\"name\": \"a\", \"type\": \"int32\"}],\n"
                          " \"records\": [{\"id64\": 1, \"values\": [4294967296]}]}]}]}")
            << 3 << 37 << QStringLiteral("does not fit");
        QTest::newRow("id above 2^64")
            << QByteArray("{\"databases\": [{\"name\": \"DB\", \"tables\": [{\"name\": \"t\",\n"
                          " \"records\": [{\"id64\": 18446744073709551616, \"values\": []}]}]}]}")
            << 2 << 23 << QStringLiteral("\"id64\" must be a whole number");
        QTest::newRow("unknown member") << QByteArray("{\"mode\": 2, \"modes\": 3}") << 1 << 22
                                        << QStringLiteral("unknown member \"modes\"");
    }

    void badJsonIsPlaced()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, line);
        QFETCH(int, column);
        QFETCH(QString, fault);
        try {
            ModelJson::fromJson(json);
            QFAIL("the JSON should have been refused");
        } catch (const JsonError& e) {
            QVERIFY2(e.message().contains(fault), qPrintable(e.message()));
            QCOMPARE(e.line(), line);
            QCOMPARE(e.column(), column);
        }
    }

    void toolReportsBadJson()
    {
        QTemporaryDir dir;
        const QString input
            = writeFile(dir, QStringLiteral("bad.json"), "{\"mode\": 2,\n \"databases\": [1,}");
        const QString output = dir.filePath(QStringLiteral("m.Tessel"));
        const ToolRun run = runTool({ QStringLiteral("build"), input, output });
        QVERIFY(run.exitCode != 0);
        QVERIFY2(run.err.contains("bad.json: line 2, column 18"), run.err.constData());
        QVERIFY(!QFile::exists(output));

        const ToolRun dumpMissing
            = runTool({ QStringLiteral("dump"), dir.filePath(QStringLiteral("none.Tessel")) });
        QVERIFY(dumpMissing.exitCode != 0);
        QVERIFY2(dumpMissing.err.contains("none.Tessel"), dumpMissing.err.constData());
        QVERIFY(runTool({ QStringLiteral("frobnicate") }).exitCode != 0);
    }

    void genWritesAProject_data()
    {
        QTest::addColumn<bool>("converted");
        QTest::newRow("as delivered") << false;
        QTest::newRow("converted") << true;
    }

    void genWritesAProject()
    {
        QFETCH(bool, converted);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("project"));
        QStringList arguments { QStringLiteral("gen"), QStringLiteral("--records"),
            QStringLiteral("2000"), QStringLiteral("--tables"), QStringLiteral("6"), folder };
        if (converted)
            arguments.insert(1, QStringLiteral("--converted"));
        const ToolRun run = runTool(arguments);
        QVERIFY2(run.exitCode == 0, run.err.constData());

        const TesselModel model = load(folder + QStringLiteral("/KBMProjectTemplate.Tessel"));
        QCOMPARE(model.databases(0).name(), QStringLiteral("DB"));
        QCOMPARE(model.databases(0).tables().count(), 6);
        int records = 0;
        for (int t = 0; t < 6; ++t)
            records += model.databases(0).tables().items(t).recordCount();
        QCOMPARE(records, 2000);

        const TesselTable project
            = model.findTable(QStringLiteral("DB"), QStringLiteral("project"));
        QCOMPARE(project.recordCount(), 1);
        QVERIFY(project[0].asUInt64(QStringLiteral("id")) != 0);
        QVERIFY(!project[0].asString(QStringLiteral("workspace_id")).isEmpty());
        const TesselFieldSchema id = project.tableSchema().fieldSchemas().items(0);
        QCOMPARE(
            id.extPropDefs().find(QStringLiteral("DataType")).value(), QStringLiteral("Int64"));
        QCOMPARE(int(id.dataType()), converted ? 15 : int(tdtString));
        const TesselExtPropDef marker
            = model.extPropDefs().find(QStringLiteral("IgnoreProcessInt64"));
        QCOMPARE(marker.isNull(), !converted);

        const TesselTable types
            = model.findTable(QStringLiteral("DB"), QStringLiteral("element_type"));
        QSet<int> nodeTypes;
        for (int r = 0; r < types.recordCount(); ++r)
            nodeTypes.insert(types[r].asInteger(QStringLiteral("node_type")));
        QCOMPARE(nodeTypes, (QSet<int> { 1, 2, 3 }));
        QVERIFY(
            model.findTable(QStringLiteral("DB"), QStringLiteral("specialty")).recordCount() > 0);

        // The SQLite database holds the same rows.
        sqlite3* raw = nullptr;
        QCOMPARE(sqlite3_open_v2(
                     (folder + QStringLiteral("/KBMProjectTemplate.db")).toUtf8().constData(), &raw,
                     SQLITE_OPEN_READONLY, nullptr),
            SQLITE_OK);
        std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, &sqlite3_close);
        sqlite3_stmt* statement = nullptr;
        QCOMPARE(sqlite3_prepare_v2(raw,
                     "SELECT count(*), min(node_type), max(node_type) FROM element_type", -1,
                     &statement, nullptr),
            SQLITE_OK);
        QCOMPARE(sqlite3_step(statement), SQLITE_ROW);
        QCOMPARE(sqlite3_column_int(statement, 0), types.recordCount());
        QCOMPARE(sqlite3_column_int(statement, 1), 1);
        QCOMPARE(sqlite3_column_int(statement, 2), 3);
        sqlite3_finalize(statement);
        QCOMPARE(
            sqlite3_prepare_v2(raw, "SELECT id FROM project", -1, &statement, nullptr), SQLITE_OK);
        QCOMPARE(sqlite3_step(statement), SQLITE_ROW);
        QCOMPARE(
            quint64(sqlite3_column_int64(statement, 0)), project[0].asUInt64(QStringLiteral("id")));
        sqlite3_finalize(statement);
    }

    void genRefusesBadOptions()
    {
        QTemporaryDir dir;
        QVERIFY(runTool({ QStringLiteral("gen"), dir.path() }).exitCode != 0);
        QVERIFY(runTool({ QStringLiteral("gen"), QStringLiteral("--records"), QStringLiteral("0"),
                            dir.path() })
                    .exitCode
            != 0);
        QVERIFY(runTool({ QStringLiteral("gen"), QStringLiteral("--records"), QStringLiteral("10"),
                            QStringLiteral("--tables"), QStringLiteral("2"), dir.path() })
                    .exitCode
            != 0);
    }
};

QTEST_GUILESS_MAIN(TestTesselTool)
#include "tst_tesseltool.moc"
