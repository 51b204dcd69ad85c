#include "ProjectFolderBuilder.h"
#include "RegisteredProject.h"

#include <core/BIMException.h>
#include <core/Global.h>
#include <krvcommon/KRVException.h>
#include <storage/ElementType.h>

#include <QTemporaryDir>
#include <QtTest>

using Builder = ProjectFolderBuilder;

class ElementTypeTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void names_data();
    void names();
    void kindsLoadIndependently();
    void loadsOnce();
    void failedLoadIsRetried();

private:
    void useFolder(const QString& name);

    QTemporaryDir m_dir;
    QString m_folder;
};

void ElementTypeTest::init()
{
    useFolder(QTest::currentTestFunction());
    new RegisteredProject();
}

void ElementTypeTest::cleanup()
{
    Project::destory();
}

void ElementTypeTest::useFolder(const QString& name)
{
    m_folder = m_dir.filePath(name);
    Singleton<Global>::instance()->m_projectPath = m_folder;
}

void ElementTypeTest::names_data()
{
    QTest::addColumn<bool>("specialty");
    QTest::addColumn<quint64>("id");
    QTest::addColumn<QString>("name");

    QTest::newRow("element type") << false << quint64(2002) << "墙 Wall";
    QTest::newRow("category above the types") << false << quint64(2001) << "";
    QTest::newRow("node type 3") << false << quint64(2003) << "";
    QTest::newRow("repeated identifier keeps the later name") << false << quint64(2004) << "Second";
    QTest::newRow("negative identifier") << false << quint64(-5) << "Negative";
    QTest::newRow("unknown identifier") << false << quint64(9999) << "";
    QTest::newRow("specialty") << true << quint64(7) << "Structure";
    QTest::newRow("specialty with a large identifier") << true << 0xFEDCBA9876543210ull << "给排水";
    QTest::newRow("unknown specialty") << true << quint64(8) << "";
}

void ElementTypeTest::names()
{
    QFETCH(bool, specialty);
    QFETCH(quint64, id);
    QFETCH(QString, name);
    Builder::write(m_folder,
        Builder::model({ Builder::projectTable(1, 2),
            Builder::elementTypeTable({ { 11, 2001, 1, "Walls" }, { 12, 2002, 2, "墙 Wall" },
                { 13, 2003, 3, "Wall part" }, { 14, 2004, 2, "First" }, { 15, 2004, 2, "Second" },
                { 16, -5, 2, "Negative" } }),
            Builder::specialtyTable(
                { { 0xFEDCBA9876543210ull, "给排水" }, { 7, "Structure" } }) }));

    ElementType dictionary;
    for (int twice = 0; twice < 2; ++twice) { // an unknown one is remembered the first time
        QCOMPARE(specialty ? dictionary.getSpecialNamebyId(id)
                           : dictionary.getElementTypeNamebyId(static_cast<int>(id)),
            name);
    }
}

void ElementTypeTest::kindsLoadIndependently()
{
    // A "specialty" table without names cannot be read, so any lookup that
    // touched it would raise.
    Builder::write(m_folder,
        Builder::model({ Builder::elementTypeTable({ { 1, 10, 2, "Door" } }),
            R"({"name": "specialty", "primaryKey": -1, "fields": [{"name": "code", "type": "int32"}],
                "records": [{"id64": 3, "values": [1]}]})" }));

    ElementType dictionary;
    QCOMPARE(dictionary.getElementTypeNamebyId(10), QString("Door"));
    QVERIFY_EXCEPTION_THROWN(dictionary.getSpecialNamebyId(3), KRVException);
}

void ElementTypeTest::loadsOnce()
{
    Builder::write(m_folder,
        Builder::model(
            { Builder::elementTypeTable({ { 1, 10, 2, "Door" } }), Builder::specialtyTable({}) }));
    ElementType dictionary;
    QCOMPARE(dictionary.getElementTypeNamebyId(10), QString("Door"));
    QCOMPARE(dictionary.getSpecialNamebyId(1), QString()); // an empty table

    // Later lookups read neither the table nor the project: both may be gone.
    TesselTable specialty = Project::instance()->getTesselTable("specialty");
    specialty.appendRecord(1).setString(1, "Added later");
    Project::instance()->close();
    useFolder("absent");
    QCOMPARE(dictionary.getElementTypeNamebyId(10), QString("Door"));
    QCOMPARE(dictionary.getElementTypeNamebyId(11), QString());
    QCOMPARE(dictionary.getSpecialNamebyId(1), QString());
    QVERIFY(!Project::instance()->GetDatabaseManager());

    // A copy keeps what was loaded.
    ElementType copy(dictionary);
    QCOMPARE(copy.getElementTypeNamebyId(10), QString("Door"));
    QVERIFY(ElementType::instance());
    QCOMPARE(ElementType::instance(), ElementType::instance());
}

void ElementTypeTest::failedLoadIsRetried()
{
    ElementType dictionary;
    // No project folder: the project cannot be opened.
    const auto openFails = [](ElementType& names) {
        try {
            names.getElementTypeNamebyId(10);
        } catch (const BIMException& e) {
            return e.message() == QString::fromUtf8("打开项目失败！");
        }
        return false;
    };
    QVERIFY(openFails(dictionary));
    QVERIFY_EXCEPTION_THROWN(dictionary.getSpecialNamebyId(3), BIMException);

    // A model without the "specialty" table gives no names, and remembers
    // none; the data-model library's own exception reaches the caller.
    Builder::write(m_folder, Builder::model({ Builder::elementTypeTable({}) }));
    QVERIFY_EXCEPTION_THROWN(dictionary.getSpecialNamebyId(3), KRVException);
    Project::instance()->close();

    Builder::write(m_folder,
        Builder::model({ Builder::elementTypeTable({ { 1, 10, 2, "Door" } }),
            Builder::specialtyTable({ { 3, "HVAC" } }) }));
    QCOMPARE(dictionary.getElementTypeNamebyId(10), QString("Door"));
    QCOMPARE(dictionary.getSpecialNamebyId(3), QString("HVAC"));

    // Without a registered project there is no project to open, and nothing
    // is remembered, so a project registered later is read.
    Project::destory();
    ElementType unregistered;
    QVERIFY(openFails(unregistered));
    new RegisteredProject();
    QCOMPARE(unregistered.getElementTypeNamebyId(10), QString("Door"));
}

QTEST_GUILESS_MAIN(ElementTypeTest)
#include "tst_elementtype.moc"
