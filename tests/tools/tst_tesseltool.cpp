// The tessel tool that makes the sample and benchmark projects: build and dump
// give back the JSON form, whole numbers stay exact or are refused, bad JSON is
// reported with its place, and gen writes a usable project folder.
#include "ModelJson.h"
#include "ProjectFolders.h"
#include "TesselToolSamples.h"

#include <bimcore/core/Version.h>
#include <bimcore/platform/ksqlite/KSqlStatement.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

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
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        process.readAllStandardOutput(), process.readAllStandardError() };
}

// The first value a query gives on an SQLite file, as text.
QString firstValue(const QString& path, const std::string& sql)
{
    KSQLite::KSqlDatabase db;
    db.Open(path.toStdString(), false);
    KSQLite::KSqlStatement statement(db, sql);
    return statement.step() ? QString::fromStdString(statement.getText(0)) : "<no row>";
}

// A model-level JSON form with one table "t" whose members follow.
QByteArray oneTable(const QByteArray& members)
{
    return QByteArray("{\"databases\": [{\"name\": \"DB\", \"tables\": [{\"name\": \"t\",\n")
        + members + "}]}]}";
}

} // namespace

class TestTesselTool : public QObject
{
    Q_OBJECT

private slots:
    void buildThenDumpGivesTheInputBack()
    {
        QTemporaryDir dir;
        const QString input = dir.filePath("in.json");
        ProjectFolders::writeBytes(input, canonicalJson);
        const QString model = dir.filePath("m.Tessel");
        const ToolRun built = runTool({ "build", input, model });
        QVERIFY2(built.exitCode == 0, built.err.constData());
        const ToolRun dumped = runTool({ "dump", model });
        QVERIFY2(dumped.exitCode == 0, dumped.err.constData());
        QCOMPARE(QString::fromUtf8(dumped.out), QString::fromUtf8(canonicalJson));

        // The values above 2^53 were stored exactly, not through a double.
        const TesselTable table = ProjectFolders::loaded(model).findTable("DB", "element_type");
        QCOMPARE(table[0].asUInt64("id"), 9007199254740993ULL);
        QCOMPARE(table[1].id64(), 18446744073709551615ULL);
    }

    // Whole numbers below 2^53 may be JSON numbers; each lands digit for digit.
    void wholeNumbersAreExact_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("stored");
        auto row = [](const char* name, const char* type, const char* value, const char* stored) {
            QTest::newRow(name) << QByteArray(type) << QByteArray(value) << QString(stored);
        };
        row("largest exact number", "int64", "9007199254740991", "9007199254740991");
        row("smallest int64 as a string", "int64", "\"-9223372036854775808\"",
            "-9223372036854775808");
        row("whole number in a text field", "string", "9007199254740991", "9007199254740991");
        row("fraction in a text field", "string", "0.5", "0.5");
    }

    void wholeNumbersAreExact()
    {
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, value);
        QFETCH(QString, stored);
        const QByteArray field = " \"fields\": [{\"name\": \"v\", \"type\": \"" + type + "\"}],\n";
        const TesselModel model = ModelJson::fromJson(oneTable(
            field + " \"records\": [{\"id64\": 9007199254740991, \"values\": [" + value + "]}]"));
        const TesselTable table = model.findTable("DB", "t");
        QCOMPARE(table[0].id64(), 9007199254740991ULL);
        QCOMPARE(table[0].asString(0), stored);
    }

    // The message leads with the place: line and column of a syntax fault,
    // the path of a value the model cannot take.
    void jsonRefused_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("fault");
        auto row = [](const char* name, const QByteArray& json, const QByteArray& fault) {
            QTest::newRow(name) << json << QString::fromUtf8(fault);
        };
        const QByteArray field = " \"fields\": [{\"name\": \"a\", \"type\": \"int64\"}],\n";
        const QByteArray record = " \"records\": [{\"id64\": 1, \"values\": [";
        const QByteArray inexact
            = "a JSON number from 2^53 (9007199254740992) on may not be read as "
              "written; write it as a string of decimal digits";
        row("column counts characters", "[\"墙墙\" 1]", "line 1, column 8: ");
        row("byte order mark takes no column", "\xEF\xBB\xBF[1 2]", "line 1, column 5: ");
        row("unknown member", "{\"mode\": 2, \"modes\": 3}", "unknown member \"modes\"");
        row("unknown type", oneTable(" \"fields\": [{\"name\": \"a\", \"type\": \"int33\"}]"),
            "databases[0].tables[0].fields[0].type: unknown type \"int33\"");
        row("value count", oneTable(field + record + "1, 2]}]"),
            "databases[0].tables[0].records[0].values: 2 values; the table has 1 fields");
        row("2^53 as a number", oneTable(field + record + "9007199254740992]}]"),
            "databases[0].tables[0].records[0].values[0]: " + inexact);
        row("identifier above 2^53 as a number",
            oneTable(" \"records\": [{\"id64\": 9007199254740993, \"values\": []}]"),
            "databases[0].tables[0].records[0].id64: " + inexact);
        row("int64 value past 2^63", oneTable(field + record + "\"18446744073709551557\"]}]"),
            "databases[0].tables[0].records[0].values[0]: 18446744073709551557 is outside the "
            "range of an int64 field");
        row("identifier above 2^64",
            oneTable(" \"records\": [{\"id64\": \"18446744073709551616\", \"values\": []}]"),
            "databases[0].tables[0].records[0].id64: must be a whole number from 0 to "
            "18446744073709551615");
    }

    void jsonRefused()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, fault);
        try {
            ModelJson::fromJson(json);
            QFAIL("the JSON should have been refused");
        } catch (const ModelJson::Error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).startsWith(fault), e.what());
        }
    }

    // A refused command writes nothing, not even a part of a file.
    void toolRefuses_data()
    {
        QTest::addColumn<QString>("arguments"); // %1 is a scratch folder holding bad.json
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("fault");
        auto row = [](const char* name, const char* arguments, const QByteArray& fault,
                       const QByteArray& json = QByteArray()) {
            QTest::newRow(name) << arguments << json << fault;
        };
        auto build = [&row](const char* name, const QByteArray& json, const char* fault) {
            row(name, "build %1/bad.json %1/m.Tessel", QByteArray("bad.json: ") + fault, json);
        };
        build("syntax", "{\"mode\": 2,\n \"databases\": [1,}", "line 2, column 19: ");
        build("value out of range",
            oneTable(" \"fields\": [{\"name\": \"a\", \"type\": \"int32\"}],\n"
                     " \"records\": [{\"id64\": 1, \"values\": [4294967296]}]"),
            "databases[0].tables[0].records[0].values[0]: table \"t\", field \"a\", record 0 "
            "(id 1): the value 4294967296 does not fit");
        row("dump of a missing file", "dump %1/none.Tessel", "none.Tessel");
        row("unknown command", "frobnicate", "usage:");
        row("gen of fewer tables than it needs", "gen --records 10 --tables 2 %1/m", "");
    }

    void toolRefuses()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, fault);
        QTemporaryDir dir;
        ProjectFolders::writeBytes(dir.filePath("bad.json"), json);
        const ToolRun run = runTool(arguments.replace("%1", dir.path()).split(' '));
        QVERIFY(run.exitCode > 0);
        QVERIFY2(run.err.contains(fault), run.err.constData());
        // Nothing left behind, not even an empty folder.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList { "bad.json" });
    }

    void helpAndVersionAnswer_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("help") << "--help" << QByteArray("usage:\n  tessel build");
        QTest::newRow("version") << "--version" << QByteArray("tessel " BIMCORE_VERSION_STRING "\n");
    }

    void helpAndVersionAnswer()
    {
        QFETCH(QString, option);
        QFETCH(QByteArray, answer);
        const ToolRun run = runTool({ option });
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.startsWith(answer), run.out.constData());
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
        const QString folder = dir.filePath("project");
        QStringList arguments { "gen", "--records", "2000", "--tables", "6", folder };
        if (converted)
            arguments.insert(1, "--converted");
        const ToolRun run = runTool(arguments);
        QVERIFY2(run.exitCode == 0, run.err.constData());

        const TesselModel model = ProjectFolders::loaded(folder + "/KBMProjectTemplate.Tessel");
        QCOMPARE(model.databases(0).tables().count(), 6);
        int records = 0;
        for (int t = 0; t < 6; ++t)
            records += model.databases(0).tables().items(t).recordCount();
        QCOMPARE(records, 2000);

        const TesselTable project = model.findTable("DB", "project");
        QCOMPARE(project.recordCount(), 1);
        QVERIFY(project[0].asUInt64("id") != 0 && !project[0].asString("workspace_id").isEmpty());
        const TesselFieldSchema id = project.tableSchema().fieldSchemas().items(0);
        QCOMPARE(id.extPropDefs().find("DataType").value(), "Int64");
        QCOMPARE(id.dataType(), converted ? tdtInt64 : tdtString);
        QCOMPARE(model.extPropDefs().find("IgnoreProcessInt64").isNull(), !converted);
        QVERIFY(model.findTable("DB", "specialty").recordCount() > 0);

        // The SQLite database holds the same rows, element types of every node type.
        const QString db = folder + "/KBMProjectTemplate.db";
        QCOMPARE(firstValue(db,
                     "SELECT count(*) || ' ' || count(DISTINCT node_type) || ' ' || min(node_type) "
                     "|| ' ' || max(node_type) FROM element_type"),
            QStringLiteral("%1 3 1 3").arg(model.findTable("DB", "element_type").recordCount()));
        QCOMPARE(
            firstValue(db, "SELECT id FROM project"), QString::number(project[0].asUInt64("id")));
    }
};

QTEST_GUILESS_MAIN(TestTesselTool)
#include "tst_tesseltool.moc"
