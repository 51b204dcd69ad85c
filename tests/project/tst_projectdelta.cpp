#include "RegisteredProject.h"

#include <QtTest>

class ProjectDeltaTest : public QObject
{
    Q_OBJECT

private slots:
    void needResetModel_data();
    void needResetModel();
};

void ProjectDeltaTest::needResetModel_data()
{
    QTest::addColumn<QStringList>("tables");
    QTest::addColumn<bool>("reset");

    QTest::newRow("no change") << QStringList() << false;
    QTest::newRow("element types only") << QStringList { "element_type" } << false;
    QTest::newRow("segment among others")
        << QStringList { "element_type", "specialty", "segment", "project" } << true;
    QTest::newRow("other letter case") << QStringList { "Segment", "SITE" } << false;
    QTest::newRow("trailing blank") << QStringList { "material " } << false;
    QTest::newRow("prefix of a listed name") << QStringList { "segment_elem" } << false;
    QTest::newRow("empty name") << QStringList { "" } << false;
    const QStringList resetTables { "model_file_revision", "site", "site_file", "segment",
        "segment_line", "segment_element", "segment_floor", "segment_element_type_sub_class",
        "segment_system", "segment_custom_filter", "material", "material_plan_detail" };
    for (const QString& table : resetTables)
        QTest::newRow(qPrintable(table)) << QStringList { table } << true;
}

void ProjectDeltaTest::needResetModel()
{
    QFETCH(QStringList, tables);
    QFETCH(bool, reset);

    auto* project = new RegisteredProject();
    const ProjectDestroyer destroyAtEnd;
    TableDeltaInfo& delta = project->getChangedDelta();
    for (const QString& table : tables)
        delta.tables[table.toStdWString()]; // a changed table may list no record
    QCOMPARE(project->needResetModel(), reset);
}

QTEST_GUILESS_MAIN(ProjectDeltaTest)
#include "tst_projectdelta.moc"
