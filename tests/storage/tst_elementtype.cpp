#include "ProjectFolders.h"
#include "Raised.h"
#include "RegisteredProject.h"

#include <bimcore/core/Global.h>
#include <bimcore/platform/krvcommon/KRVException.h>
#include <bimcore/storage/ElementType.h>

#include <QtTest>

using namespace ProjectFolders;

namespace {

// Identifiers as the service delivers them: marked text.
Record typeRecord(quint64 id, int elementTypeId, int nodeType, const char* name)
{
    return { id, { QString::number(id), elementTypeId, nodeType, QString::fromUtf8(name) } };
}

Table elementTypes(const std::vector<Record>& records)
{
    return { "element_type",
        { { "id", tdtString, "Int64" }, { "element_type_id", tdtInt32 }, { "node_type", tdtInt32 },
            { "name", tdtString } },
        records };
}

Table specialties(const std::vector<std::pair<quint64, const char*>>& names)
{
    Table table { "specialty", { { "id", tdtString, "Int64" }, { "name", tdtString } }, {} };
    for (const auto& [id, name] : names)
        table.records.push_back({ id, { QString::number(id), QString::fromUtf8(name) } });
    return table;
}

} // namespace

class ElementTypeTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_folder;

    void useFolder(const QString& name)
    {
        m_folder = m_dir.filePath(name);
        Singleton<Global>::instance()->m_projectPath = m_folder;
    }

private slots:
    void init()
    {
        useFolder(QTest::currentTestFunction());
        new RegisteredProject();
    }

    void cleanup() { Project::destory(); }

    void names_data()
    {
        QTest::addColumn<bool>("specialty");
        QTest::addColumn<quint64>("id");
        QTest::addColumn<QString>("name");
        QTest::newRow("element type") << false << quint64(2002) << "墙 Wall";
        QTest::newRow("category above the types") << false << quint64(2001) << "";
        QTest::newRow("node type 3") << false << quint64(2003) << "";
        QTest::newRow("repeated identifier keeps the later name")
            << false << quint64(2004) << "Second";
        QTest::newRow("negative identifier") << false << quint64(-5) << "Negative";
        QTest::newRow("unknown identifier") << false << quint64(9999) << "";
        QTest::newRow("specialty with a large identifier")
            << true << 0xFEDCBA9876543210ull << "给排水";
        QTest::newRow("unknown specialty") << true << quint64(8) << "";
    }

    void names()
    {
        QFETCH(bool, specialty);
        QFETCH(quint64, id);
        QFETCH(QString, name);
        writeProject(m_folder,
            { elementTypes({ typeRecord(11, 2001, 1, "Walls"), typeRecord(12, 2002, 2, "墙 Wall"),
                  typeRecord(13, 2003, 3, "Wall part"), typeRecord(14, 2004, 2, "First"),
                  typeRecord(15, 2004, 2, "Second"), typeRecord(16, -5, 2, "Negative") }),
                specialties({ { 0xFEDCBA9876543210ull, "给排水" }, { 7, "Structure" } }) });

        ElementType dictionary;
        for (int twice = 0; twice < 2; ++twice) { // an unknown one is remembered the first time
            QCOMPARE(specialty ? dictionary.getSpecialNamebyId(id)
                               : dictionary.getElementTypeNamebyId(static_cast<int>(id)),
                name);
        }
    }

    void loadsOnce()
    {
        writeProject(m_folder, { elementTypes({ typeRecord(1, 10, 2, "Door") }), specialties({}) });
        ElementType dictionary;
        QCOMPARE(dictionary.getElementTypeNamebyId(10), QString("Door"));
        QCOMPARE(dictionary.getSpecialNamebyId(1), QString()); // an empty table

        // Later lookups read neither the table nor the project: both may be gone.
        Project::instance()
            ->getTesselTable("specialty")
            .appendRecord(1)
            .setString(1, "Added later");
        Project::instance()->close();
        useFolder("absent");
        QCOMPARE(dictionary.getElementTypeNamebyId(10), QString("Door"));
        QCOMPARE(dictionary.getSpecialNamebyId(1), QString());
        QVERIFY(!Project::instance()->GetDatabaseManager());
    }

    // Each kind loads on its own, and a failed load is tried again.
    void failedLoadIsRetried()
    {
        ElementType dictionary;
        QVERIFY_EXCEPTION_THROWN(dictionary.getElementTypeNamebyId(10), BIMException);
        QVERIFY_EXCEPTION_THROWN(dictionary.getSpecialNamebyId(3), BIMException);

        // Without the "specialty" table the element types still load; the
        // data-model library's own exception reaches the caller.
        writeProject(m_folder, { elementTypes({ typeRecord(1, 10, 2, "Door") }) });
        QCOMPARE(dictionary.getElementTypeNamebyId(10), QString("Door"));
        QVERIFY_EXCEPTION_THROWN(dictionary.getSpecialNamebyId(3), KRVException);
        Project::instance()->close();
        writeProject(m_folder,
            { elementTypes({ typeRecord(1, 10, 2, "Door") }), specialties({ { 3, "HVAC" } }) });
        QCOMPARE(dictionary.getSpecialNamebyId(3), QString("HVAC"));

        // Without a registered project nothing is remembered, so a project
        // registered later is read.
        Project::destory();
        ElementType unregistered;
        QCOMPARE(raisedBy([&] { unregistered.getElementTypeNamebyId(10); }),
            QString::fromUtf8("BIMException 0: 打开项目失败！"));
        new RegisteredProject();
        QCOMPARE(unregistered.getElementTypeNamebyId(10), QString("Door"));
    }
};

QTEST_GUILESS_MAIN(ElementTypeTest)
#include "tst_elementtype.moc"
