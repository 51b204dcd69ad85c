// The tessel tool that makes the sample projects: build and dump give back
// the JSON form, whole numbers exact.
#include "ChildProcess.h"
#include "ProjectFolders.h"
#include "TesselToolSamples.h"

#include <QtTest>

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
        const ChildRun built = runChild(TESSEL_TOOL, { "build", input, model });
        QVERIFY2(built.exitCode == 0, qPrintable(built.err));
        const ChildRun dumped = runChild(TESSEL_TOOL, { "dump", model });
        QVERIFY2(dumped.exitCode == 0, qPrintable(dumped.err));
        // Values above 2^53 come back digit for digit: not stored through a double.
        QCOMPARE(dumped.out, QString::fromUtf8(canonicalJson));
    }
};

QTEST_GUILESS_MAIN(TestTesselTool)
#include "tst_tesseltool.moc"
