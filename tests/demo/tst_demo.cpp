// The README's demo, as scripts/demo.sh runs it after the build: a first
// fetch of the sample project, then an update to its second revision.
#include "HostProcess.h"

#include <QRegularExpression>
#include <QtTest>

class DemoTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const HostProcess::Result result
            = HostProcess().run("bash", { RUN_DEMO_SCRIPT, BIMHOST_PATH, SAMPLES_DIR });
        QVERIFY2(result.finished && result.exitCode == 0, qPrintable(result.err + result.out));
        // Nothing but the demo's own text: no warnings from Qt or the platform.
        QCOMPARE(result.err, QString());
        QVERIFY2(result.out.count('\n') < 60, "the demo's output is too long to read at a glance");
        const int second = result.out.indexOf("== 2.");
        QVERIFY2(second > 0, qPrintable(result.out));
        m_firstRun = result.out.left(second);
        m_secondRun = result.out.mid(second);
    }

    void fragments_data()
    {
        QTest::addColumn<bool>("secondRun");
        QTest::addColumn<QString>("fragment");
        auto row = [](const char* name, bool second, const char* fragment) {
            QTest::newRow(name) << second << QString::fromUtf8(fragment);
        };
        row("first: progress reaches the end", false, "100%  Project files are up to date");
        row("first: fetched, not found locally", false,
            "opened         fetched from the central service (no local copy yet)");
        row("first: workspace from the project record", false,
            "workspace      8c1f7d2a-3b5e-4f60-9a71-2d4c6e8b0f13");
        row("first: model records", false, "element 424,");
        row("first: model table of the reset set", false, "material 10,");
        row("first: SQLite rows", false, "element_property 848,");
        row("first: a fetch reports no changes", false, "changes        none");
        row("first: no rebuild", false, "rebuild model  no");
        row("first: element type name", false, "101 Wall,");
        row("first: element types are node type 2 only", false, "(12 in all)");
        row("first: specialty names", false, "Fire protection");
        row("second: progress reaches the end", true, "100%  Project files are up to date");
        row("second: updated", true,
            "from the local copy, then updated through the central service");
        row("second: new model records", true, "element 428,");
        row("second: new SQLite rows", true, "issue 11,");
        row("second: element changes by kind", true, "element 18 (8 added, 6 changed, 4 removed)");
        row("second: material changes", true, "material 2 (1 added, 1 changed)");
        row("second: revision record", true, "model_file_revision 1 (1 added)");
        row("second: segment rename", true, "segment 1 (1 changed)");
        row("second: reset set touched", true, "rebuild model  yes");
        row("second: project files listed", true, "KBMProjectTemplate.Tessel");
    }

    void fragments()
    {
        QFETCH(bool, secondRun);
        QFETCH(QString, fragment);
        const QString& text = secondRun ? m_secondRun : m_firstRun;
        QVERIFY2(text.contains(fragment), qPrintable(fragment + " not in:\n" + text));
    }

    void changeRecordListsOnlyChangedTables()
    {
        const int start = m_secondRun.indexOf("  changes ");
        const int end = m_secondRun.indexOf("  rebuild model");
        QVERIFY(start > 0 && end > start);
        QStringList tables;
        const QRegularExpression item("([a-z_]+) \\d+ \\(");
        for (auto it = item.globalMatch(m_secondRun.mid(start, end - start)); it.hasNext();)
            tables.append(it.next().captured(1));
        QCOMPARE(tables, QString("element material model_file_revision segment").split(' '));
    }

private:
    QString m_firstRun;
    QString m_secondRun;
};

QTEST_GUILESS_MAIN(DemoTest)
#include "tst_demo.moc"
