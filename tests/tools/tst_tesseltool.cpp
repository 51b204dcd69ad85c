// The tessel tool that makes the sample and benchmark projects: build and dump
// give back the JSON form, whole numbers stay exact or are refused, bad JSON is
// reported with its place, and gen writes a usable project folder.
#include "ChildProcess.h"
#include "ModelJson.h"
#include "ProjectFolders.h"
#include "TesselToolSamples.h"

#include <bimcore/core/Version.h>
#include <bimcore/platform/ksqlite/KSqlStatement.h>

#include <QtTest>

namespace {

ChildRun runTool(const QStringList& arguments)
{
    return runChild(QStringLiteral(TESSEL_TOOL), arguments);
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
        const ChildRun built = runTool({ "build", input, model });
        QVERIFY2(built.exitCode == 0, qPrintable(built.err));
        const ChildRun dumped = runTool({ "dump", model });
        QVERIFY2(dumped.exitCode == 0, qPrintable(dumped.err));
        // Values above 2^53 come back digit for digit: not stored through a double.
        QCOMPARE(dumped.out, QString::fromUtf8(canonicalJson));
    }

    // Whole numbers below 2^53 may be JSON numbers; each lands digit for digit.
    // A refusal leads with the place: line and column of a syntax fault, the
    // path of a value the model cannot take.
    void modelJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("expected"); // the stored text, or the start of the refusal
        auto row = [](const char* name, const QByteArray& json, bool accepted,
                       const QByteArray& expected) {
            QTest::newRow(name) << json << accepted << QString::fromUtf8(expected);
        };
        // A table "t" with one field "a" of the type and one record holding the value.
        auto value = [](const QByteArray& type, const QByteArray& value) {
            return oneTable(" \"fields\": [{\"name\": \"a\", \"type\": \"" + type
                + "\"}],\n \"records\": [{\"id64\": 9007199254740991, \"values\": [" + value
                + "]}]");
        };
        const QByteArray inexact
            = "a JSON number from 2^53 (9007199254740992) on may not be read as "
              "written; write it as a string of decimal digits";
        row("largest exact number", value("int64", "9007199254740991"), true, "9007199254740991");
        row("whole number in a text field", value("string", "9007199254740991"), true,
            "9007199254740991");
        row("fraction in a text field", value("string", "0.5"), true, "0.5");
        row("column counts characters", "[\"墙墙\" 1]", false, "line 1, column 8: ");
        row("byte order mark takes no column", "\xEF\xBB\xBF[1 2]", false, "line 1, column 5: ");
        row("unknown member", "{\"mode\": 2, \"modes\": 3}", false, "unknown member \"modes\"");
        row("unknown type", oneTable(" \"fields\": [{\"name\": \"a\", \"type\": \"int33\"}]"),
            false, "databases[0].tables[0].fields[0].type: unknown type \"int33\"");
        row("value count", value("int64", "1, 2"), false,
            "databases[0].tables[0].records[0].values: 2 values; the table has 1 fields");
        row("2^53 as a number", value("int64", "9007199254740992"), false,
            "databases[0].tables[0].records[0].values[0]: " + inexact);
        row("identifier above 2^53 as a number",
            oneTable(" \"records\": [{\"id64\": 9007199254740993, \"values\": []}]"), false,
            "databases[0].tables[0].records[0].id64: " + inexact);
        row("int64 value past 2^63", value("int64", "\"18446744073709551557\""), false,
            "databases[0].tables[0].records[0].values[0]: 18446744073709551557 is outside the "
            "range of an int64 field");
        row("identifier above 2^64",
            oneTable(" \"records\": [{\"id64\": \"18446744073709551616\", \"values\": []}]"), false,
            "databases[0].tables[0].records[0].id64: must be a whole number from 0 to "
            "18446744073709551615");
    }

    void modelJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, accepted);
        QFETCH(QString, expected);
        try {
            const TesselTable table = ModelJson::fromJson(json).findTable("DB", "t");
            QVERIFY2(accepted, "the JSON should have been refused");
            QCOMPARE(table[0].id64(), 9007199254740991ULL);
            QCOMPARE(table[0].asString(0), expected);
        } catch (const ModelJson::Error& e) {
            QVERIFY2(!accepted && QString::fromUtf8(e.what()).startsWith(expected), e.what());
        }
    }

    // Help and version on standard output; a refused command writes nothing,
    // not even a part of a file.
    void toolRuns_data()
    {
        QTest::addColumn<QString>("arguments"); // %1 is a scratch folder holding bad.json
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("fault"); // on standard error; "1>" starts standard output
        auto row = [](const char* name, const char* arguments, const QByteArray& fault,
                       const QByteArray& json = QByteArray()) {
            QTest::newRow(name) << arguments << json << fault;
        };
        auto build = [&row](const char* name, const QByteArray& json, const char* fault) {
            row(name, "build %1/bad.json %1/m.Tessel", QByteArray("bad.json: ") + fault, json);
        };
        row("help", "--help", "1>usage:\n  bimcore-tessel build");
        row("version", "--version", "1>bimcore-tessel " BIMCORE_VERSION_STRING "\n");
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

    void toolRuns()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, fault);
        QTemporaryDir dir;
        ProjectFolders::writeBytes(dir.filePath("bad.json"), json);
        const ChildRun run = runTool(arguments.replace("%1", dir.path()).split(' '));
        if (fault.startsWith("1>"))
            QVERIFY2(run.exitCode == 0 && run.out.startsWith(fault.mid(2)), qPrintable(run.out));
        else
            QVERIFY2(run.exitCode > 0 && run.err.contains(fault), qPrintable(run.err));
        // Nothing left behind, not even an empty folder.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList { "bad.json" });
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
        const ChildRun run = runTool(arguments);
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));

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
