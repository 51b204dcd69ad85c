// The tessel tool that makes the sample and benchmark projects: build and dump
// give back the JSON form, whole numbers stay exact or are refused, bad JSON is
// reported with its place, and gen writes a usable project folder.
#include "ChildProcess.h"
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
        row("help", "--help", "1>usage:\n  tessel build");
        row("version", "--version", "1>tessel " BIMCORE_VERSION_STRING "\n");
        build("syntax", "{\"mode\": 2,\n \"databases\": [1,}", "line 2, column 19: ");
        build("value out of range",
            oneTable(" \"fields\": [{\"name\": \"a\", \"type\": \"int32\"}],\n"
                     " \"records\": [{\"id64\": 1, \"values\": [4294967296]}]"),
            "databases[0].tables[0].records[0].values[0]: table \"t\", field \"a\", record 0 "
            "(id 1): the value 4294967296 does not fit");
        // A JSON number from 2^53 on may not be read as written.
        build("identifier above 2^53 as a number",
            oneTable(" \"records\": [{\"id64\": 9007199254740993, \"values\": []}]"),
            "databases[0].tables[0].records[0].id64: a JSON number from 2^53");
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

    // A project folder as delivered: the records over the tables asked for,
    // identifiers marked and as text, element types of every node type, and
    // the same rows in the database.
    void genWritesAProject()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("project");
        const ChildRun run = runTool({ "gen", "--records", "2000", "--tables", "6", folder });
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));

        const TesselModel model = ProjectFolders::loaded(folder + "/KBMProjectTemplate.Tessel");
        QCOMPARE(model.databases(0).tables().count(), 6);
        int records = 0;
        for (int t = 0; t < 6; ++t)
            records += model.databases(0).tables().items(t).recordCount();
        QCOMPARE(records, 2000);
        const TesselTable project = model.findTable("DB", "project");
        QVERIFY(project.recordCount() == 1 && !project[0].asString("workspace_id").isEmpty());
        const TesselFieldSchema id = project.tableSchema().fieldSchemas().items(0);
        QVERIFY(id.extPropDefs().find("DataType").value() == "Int64" && id.dataType() == tdtString);
        QVERIFY(model.extPropDefs().find("IgnoreProcessInt64").isNull());
        QVERIFY(model.findTable("DB", "specialty").recordCount() > 0);

        const QString db = folder + "/KBMProjectTemplate.db";
        QCOMPARE(firstValue(db,
                     "SELECT count(*) || ' ' || count(DISTINCT node_type) || ' ' || min(node_type) "
                     "|| ' ' || max(node_type) FROM element_type"),
            QStringLiteral("%1 3 1 3").arg(model.findTable("DB", "element_type").recordCount()));
        QCOMPARE(firstValue(db, "SELECT id FROM project"), project[0].asString("id"));
    }
};

QTEST_GUILESS_MAIN(TestTesselTool)
#include "tst_tesseltool.moc"
