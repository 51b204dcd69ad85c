// DatabaseManager: which folders are projects, the models it hands out with
// their identifiers prepared, and the texts a host sees when the files cannot
// be read; ElementType's lookups in the models.
#include "ProjectFolders.h"
#include "Raised.h"
#include "RegisteredProject.h"

#include <bimcore/core/Global.h>
#include <bimcore/storage/DatabaseManager.h>
#include <bimcore/storage/ElementType.h>

#include <bimcore/platform/ksqlite/KSqlDatabase.h>

#include <QtTest>

using namespace ProjectFolders;

Q_DECLARE_METATYPE(ProjectFolders::Table)

namespace {

// "wall" with the key "id" and a second field "ref", each with the
// "DataType" marker given (none if empty); identifiers as the service
// delivers them, some blank or empty.
Table wall(TesselTableKind kind, TesselDataType idType, const QString& idMarker,
    const QString& refMarker = QString(), int primaryKey = 0)
{
    return { "wall", { { "id", idType, idMarker }, { "ref", tdtString, refMarker } },
        { { 9000000000000000001ull, { "9000000000000000001", "18446744073709551615" } },
            { 2, { "2", " -4 " } }, { 3, { "3", "" } } },
        primaryKey, kind };
}

} // namespace

class DatabaseManagerTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_folders = 0;

    TesselModel open(const Revision& tables, const QString& converted = QString())
    {
        const QString folder = m_dir.filePath(QString::number(++m_folders));
        writeProject(folder);
        writeModel(folder + "/" + kModelFile, tables, converted);
        return DatabaseManager::OpenProject(folder)->ProjectModel();
    }

private slots:
    // A folder is a project when it holds both files; a model file alone is
    // never loaded (this one would raise). A project opens ready for use,
    // whatever mode its model was stored in, converted or not, also with
    // blanks, non-ASCII letters and a trailing separator in its name.
    void recognisesProjectFolders()
    {
        const QString modelOnly = m_dir.filePath("model only");
        const QString databaseOnly = m_dir.filePath("database only/");
        QVERIFY(QDir().mkpath(modelOnly) && QDir().mkpath(databaseOnly));
        writeBytes(modelOnly + "/" + kModelFile, "not a model");
        writeDatabase(databaseOnly + kDatabaseFile, "db");
        for (const QString& folder : { m_dir.filePath("absent"), modelOnly, databaseOnly })
            QVERIFY2(!DatabaseManager::ProjectExists(folder) && !DatabaseManager::OpenProject(folder),
                qPrintable(folder));
        for (const auto& [name, mode] : { std::pair("plain", tmDesign),
                 std::pair("项目 文件夹 é", tmReadOnly), std::pair("项目 文件夹 ü/", tmRuntime) }) {
            const QString folder = m_dir.filePath(QString::fromUtf8(name));
            const bool converted = mode != tmDesign;
            QVERIFY(QDir().mkpath(folder));
            writeModel(folder + "/" + kModelFile, { projectTable(11, 12, converted) },
                converted ? "True" : "", mode);
            writeDatabase(folder + "/" + kDatabaseFile, "db");
            QVERIFY(DatabaseManager::ProjectExists(folder));
            const std::shared_ptr<DatabaseManager> manager = DatabaseManager::OpenProject(folder);
            QCOMPARE(manager->ProjectModel().mode(), tmRuntime);
            QCOMPARE(manager->ProjectModel().findTable("DB", "project")[0].asUInt64("id"), 11ull);
            QVERIFY(manager->SqliteProjectData()->isOpen());
            // Joined directly to the folder, written once with the system's separator.
            QCOMPARE(QString::fromStdString(manager->SqliteProjectData()->path()),
                QDir::toNativeSeparators(QDir::cleanPath(folder) + "/" + kDatabaseFile));
        }
    }

    // An identifier that is no number: the host sees the text.
    void identifierThatIsNoNumberRaises()
    {
        const QString raised = raisedBy([&] {
            open({ { "wall", { { "id", tdtString, "Int64" } }, { { 5, { "five" } } } } });
        });
        QVERIFY2(raised.startsWith("BIMException 0: ") && raised.contains("five"), qPrintable(raised));
    }

    void preparesLoadedModels_data()
    {
        QTest::addColumn<QString>("converted"); // the model's marker
        QTest::addColumn<Table>("table");
        QTest::addColumn<int>("idType");
        QTest::addColumn<int>("refType");
        QTest::addColumn<bool>("bound");
        QTest::addColumn<int>("convertedMarkers");
        const auto row = [](const char* name, const char* converted, const Table& table,
                             TesselDataType id, TesselDataType ref, bool bound, int markers) {
            QTest::newRow(name) << converted << table << int(id) << int(ref) << bound << markers;
        };
        row("unconverted identifiers", "", wall(ttkOrdinary, tdtString, "Int64", "Int64"), tdtInt64,
            tdtInt64, true, 1);
        row("converted model is not converted again", "True",
            wall(ttkOrdinary, tdtString, "Int64", "Int64"), tdtString, tdtString, true, 1);
        row("marker other than \"True\" converts again", "true",
            wall(ttkOrdinary, tdtString, "Int64"), tdtInt64, tdtString, true, 2);
        row("key marked int64 in lower case", "", wall(ttkOrdinary, tdtString, "int64", "Int64"),
            tdtString, tdtInt64, false, 1);
        row("key of type int64 without marker", "True", wall(ttkOrdinary, tdtInt64, ""), tdtInt64,
            tdtString, true, 1);
        row("link table is converted, not bound", "", wall(ttkLink, tdtString, "Int64"), tdtInt64,
            tdtString, false, 1);
        row("marked field that is not the key", "", wall(ttkOrdinary, tdtString, "", "Int64"),
            tdtString, tdtInt64, false, 1);
        row("table without a key", "", wall(ttkOrdinary, tdtString, "Int64", "", -1), tdtInt64,
            tdtString, false, 1);
    }

    void preparesLoadedModels()
    {
        QFETCH(QString, converted);
        QFETCH(Table, table);
        QFETCH(int, idType);
        QFETCH(int, refType);
        QFETCH(bool, bound);
        QFETCH(int, convertedMarkers);

        const TesselModel model = open({ table }, converted);
        const TesselTable wall = model.findTable("DB", "wall");
        const TesselFieldSchemas fields = wall.tableSchema().fieldSchemas();
        QCOMPARE(int(fields.items(0).dataType()), idType);
        QCOMPARE(int(fields.items(1).dataType()), refType);
        QCOMPARE(!wall.onQueryIDValue().isNull(), bound);

        // The model holds no other definitions; a conversion appends its own
        // marker, whatever markers were there.
        const TesselExtPropDefs definitions = model.extPropDefs();
        QCOMPARE(definitions.count(), convertedMarkers);
        const TesselExtPropDef last = definitions.items(definitions.count() - 1);
        QCOMPARE(last.code() + "=" + last.value(), QString("IgnoreProcessInt64=True"));
        // Converted values are exactly the numbers the texts held, never
        // through a double; those above 2^63 as their bit pattern.
        if (idType == tdtInt64)
            QCOMPARE(wall[0].value(0), QVariant(qint64(9000000000000000001LL)));
        if (refType == tdtInt64) {
            QCOMPARE(wall[0].asUInt64(1), 18446744073709551615ULL);
            QCOMPARE(wall[1].value(1), QVariant(qint64(-4)));
            QCOMPARE(wall[2].value(1), QVariant(qint64(0)));
        }
    }

    // ElementType's names by identifier: categories (node type 1) and parts
    // (3) are no element types, a repeated identifier keeps the later name,
    // an unknown one is empty. Each kind is loaded once: the second round
    // reads neither the table nor the project, both of which may be gone.
    void elementTypeLookups()
    {
        Global& global = *Singleton<Global>::instance();
        global.m_projectPath = m_dir.filePath("element types");
        new RegisteredProject();
        const auto unregister = qScopeGuard([] { Project::destory(); });
        const auto type = [](quint64 id, int elementTypeId, int nodeType, const char* name) {
            return Record { id, { QString::number(id), elementTypeId, nodeType, QString::fromUtf8(name) } };
        };
        writeProject(global.m_projectPath,
            { { "element_type",
                  { { "id", tdtString, "Int64" }, { "element_type_id", tdtInt32 },
                      { "node_type", tdtInt32 }, { "name", tdtString } },
                  { type(11, 2001, 1, "Walls"), type(12, 2002, 2, "墙 Wall"),
                      type(13, 2003, 3, "Wall part"), type(14, 2004, 2, "First"),
                      type(15, 2004, 2, "Second"), type(16, -5, 2, "Negative") } },
                { "specialty", { { "id", tdtString, "Int64" }, { "name", tdtString } },
                    { { 0xFEDCBA9876543210ull, { QString::number(0xFEDCBA9876543210ull), "给排水" } },
                        { 7, { "7", "Structure" } } } } });
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
                global.m_projectPath = m_dir.filePath("absent");
            }
        }
        QVERIFY(!Project::instance()->GetDatabaseManager());
    }
};

QTEST_GUILESS_MAIN(DatabaseManagerTest)
#include "tst_databasemanager.moc"
