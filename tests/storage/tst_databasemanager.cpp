// DatabaseManager: which folders are projects, the models it hands out with
// their identifiers prepared, and the texts a host sees when the files cannot
// be read.
#include "ProjectFolders.h"
#include "Raised.h"

#include <bimcore/storage/DatabaseManager.h>

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
    void recognisesProjectFolders_data()
    {
        QTest::addColumn<QString>("folderName"); // empty: no folder at all
        QTest::addColumn<QString>("model"); // "plain", "converted", "garbage", or none
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("withDatabase");
        const auto row = [](const char* tag, const char* name, const char* model, TesselMode mode,
                             bool database) {
            QTest::newRow(tag) << QString::fromUtf8(name) << model << int(mode) << database;
        };
        row("unconverted model", "plain", "plain", tmDesign, true);
        row("read-only, spaces and non-ASCII", "项目 文件夹 é", "converted", tmReadOnly, true);
        row("stored ready, spaces and non-ASCII, trailing separator", "项目 文件夹 ü/", "converted",
            tmRuntime, true);
        row("folder missing", "", "", tmDesign, false);
        // The model file here is garbage: were it loaded, opening would raise.
        row("model file only", "model only", "garbage", tmDesign, false);
        row("database file only", "database only/", "", tmDesign, true);
    }

    void recognisesProjectFolders()
    {
        QFETCH(QString, folderName);
        QFETCH(QString, model);
        QFETCH(int, mode);
        QFETCH(bool, withDatabase);
        const bool isProject = (model == "plain" || model == "converted") && withDatabase;
        const QString folder = m_dir.filePath(folderName.isEmpty() ? "absent" : folderName);
        if (!folderName.isEmpty()) {
            QVERIFY(QDir().mkpath(folder));
            if (model == "garbage")
                writeBytes(folder + "/" + kModelFile, "not a model");
            else if (!model.isEmpty())
                writeModel(folder + "/" + kModelFile,
                    { projectTable(11, 12, model == "converted") },
                    model == "converted" ? "True" : "", TesselMode(mode));
            if (withDatabase)
                writeDatabase(folder + "/" + kDatabaseFile, "db");
        }

        QCOMPARE(DatabaseManager::ProjectExists(folder), isProject);
        const std::shared_ptr<DatabaseManager> manager = DatabaseManager::OpenProject(folder);
        QCOMPARE(manager != nullptr, isProject);
        if (!manager)
            return;
        // Handed out ready for use, whatever mode the model was stored in.
        QCOMPARE(manager->ProjectModel().mode(), tmRuntime);
        QCOMPARE(manager->ProjectModel().findTable("DB", "project")[0].asUInt64("id"), 11ull);
        QVERIFY(manager->SqliteProjectData() && manager->SqliteProjectData()->isOpen());
        // Joined directly to the folder, written once with the system's separator.
        QCOMPARE(QString::fromStdString(manager->SqliteProjectData()->path()),
            QDir::toNativeSeparators(QDir::cleanPath(folder) + "/" + kDatabaseFile));
    }

    // The host sees what the data-model library says of a model file it
    // cannot load, or of an identifier that is no number.
    void unreadableModelRaises()
    {
        for (const QByteArray& bytes : { QByteArray("not a model at all"), QByteArray() }) {
            const QString folder = m_dir.filePath(QString::number(++m_folders));
            writeProject(folder);
            if (bytes.isEmpty())
                writeModel(folder + "/" + kModelFile,
                    { { "wall", { { "id", tdtString, "Int64" } }, { { 5, { "five" } } } } });
            else
                writeBytes(folder + "/" + kModelFile, bytes);
            const QString raised = raisedBy([&] { DatabaseManager::OpenProject(folder); });
            QVERIFY2(raised.startsWith("BIMException 0: ")
                    && raised.contains(bytes.isEmpty() ? "five" : "Cannot load model file"),
                qPrintable(raised));
        }
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
};

QTEST_GUILESS_MAIN(DatabaseManagerTest)
#include "tst_databasemanager.moc"
