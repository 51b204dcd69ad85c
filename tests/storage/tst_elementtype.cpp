#include "ProjectFolders.h"
#include "RegisteredProject.h"

#include <bimcore/core/Global.h>
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

    // Names by identifier: categories (node type 1) and parts (3) are no
    // element types, a repeated identifier keeps the later name, an unknown
    // one is empty. Each kind is loaded once: the second round reads neither
    // the table nor the project, both of which may be gone by then.
    void lookups()
    {
        writeProject(m_folder,
            { elementTypes({ typeRecord(11, 2001, 1, "Walls"), typeRecord(12, 2002, 2, "墙 Wall"),
                  typeRecord(13, 2003, 3, "Wall part"), typeRecord(14, 2004, 2, "First"),
                  typeRecord(15, 2004, 2, "Second"), typeRecord(16, -5, 2, "Negative") }),
                specialties({ { 0xFEDCBA9876543210ull, "给排水" }, { 7, "Structure" } }) });
        const struct {
            bool specialty;
            quint64 id;
            const char* name;
        } rows[] { { false, 2002, "墙 Wall" }, { false, 2001, "" }, { false, 2003, "" },
            { false, 2004, "Second" }, { false, quint64(-5), "Negative" }, { false, 9999, "" },
            { true, 0xFEDCBA9876543210ull, "给排水" }, { true, 8, "" } };
        ElementType dictionary;
        for (int round = 0; round < 2; ++round) {
            for (const auto& row : rows)
                QCOMPARE(row.specialty ? dictionary.getSpecialNamebyId(row.id)
                                       : dictionary.getElementTypeNamebyId(int(row.id)),
                    QString::fromUtf8(row.name));
            if (round == 0) {
                TesselRecord added = Project::instance()->getTesselTable("specialty").appendRecord(8);
                added.setString(0, "8");
                added.setString(1, "Added later");
                Project::instance()->close();
                useFolder("absent");
            }
        }
        QVERIFY(!Project::instance()->GetDatabaseManager());
    }
};

QTEST_GUILESS_MAIN(ElementTypeTest)
#include "tst_elementtype.moc"
