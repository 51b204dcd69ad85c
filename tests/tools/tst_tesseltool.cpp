// The tessel tool that makes the sample projects: build and dump give back
// the JSON form, whole numbers stay exact or are refused, and bad JSON is
// reported with its place.
#include "ChildProcess.h"
#include "ProjectFolders.h"
#include "TesselToolSamples.h"

#include <QtTest>

namespace {

ChildRun runTool(const QStringList& arguments)
{
    return runChild(QStringLiteral(TESSEL_TOOL), arguments);
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

    // A refusal names the file and the place: line and column of a syntax
    // fault, the path of a value the model cannot take. Nothing is left
    // behind, not even a part of the model file.
    void refusals_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("fault");
        QTest::newRow("syntax") << QByteArray("{\"mode\": 2,\n \"databases\": [1,}")
                                << "bad.json: line 2, column 19: ";
        QTest::newRow("value out of range")
            << oneTable(" \"fields\": [{\"name\": \"a\", \"type\": \"int32\"}],\n"
                        " \"records\": [{\"id64\": 1, \"values\": [4294967296]}]")
            << "bad.json: databases[0].tables[0].records[0].values[0]: table \"t\", field \"a\", "
               "record 0 (id 1): the value 4294967296 does not fit";
        // A JSON number from 2^53 on may not be read as written.
        QTest::newRow("identifier above 2^53 as a number")
            << oneTable(" \"records\": [{\"id64\": 9007199254740993, \"values\": []}]")
            << "bad.json: databases[0].tables[0].records[0].id64: a JSON number from 2^53";
    }

    void refusals()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, fault);
        QTemporaryDir dir;
        ProjectFolders::writeBytes(dir.filePath("bad.json"), json);
        const ChildRun run = runTool({ "build", dir.filePath("bad.json"), dir.filePath("m.Tessel") });
        QVERIFY2(run.exitCode > 0 && run.err.contains(fault), qPrintable(run.err));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList { "bad.json" });
    }
};

QTEST_GUILESS_MAIN(TestTesselTool)
#include "tst_tesseltool.moc"
