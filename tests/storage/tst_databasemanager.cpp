#include "ProjectFolderBuilder.h"

#include <core/BIMException.h>
#include <storage/DatabaseManager.h>

#include <krvcommon/KRVException.h>
#include <ksqlite/KSqlDatabase.h>
#include <tessel/TesselEngine.h>
#include <tessel/TesselModelPersistent.h>

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using Builder = ProjectFolderBuilder;

class DatabaseManagerTest : public QObject
{
    Q_OBJECT

private slots:
    void recognisesProjectFolders_data();
    void recognisesProjectFolders();
    void handsOutLoadedManagers_data();
    void handsOutLoadedManagers();
    void unreadableFilesRaise_data();
    void unreadableFilesRaise();
    void copiesShareTheStores();

private:
    QTemporaryDir m_dir;
};

void DatabaseManagerTest::recognisesProjectFolders_data()
{
    QTest::addColumn<QString>("folderName"); // empty: no folder at all
    QTest::addColumn<QString>("trailing");
    QTest::addColumn<bool>("withModel");
    QTest::addColumn<bool>("withDatabase");
    const auto row = [](const char* tag, const char* name, const char* trailing, bool model,
                         bool database) {
        QTest::newRow(tag) << QString::fromUtf8(name) << QString(trailing) << model << database;
    };
    row("plain folder", "plain", "", true, true);
    row("trailing separator", "trailing", "/", true, true);
    row("spaces and non-ASCII", "项目 文件夹 é", "", true, true);
    row("spaces and non-ASCII, trailing separator", "项目 文件夹 ü", "/", true, true);
    row("folder missing", "", "", false, false);
    row("empty folder", "empty", "", false, false);
    // The model file here is garbage: were it loaded, opening would raise.
    row("model file only", "model only", "", true, false);
    row("database file only", "database only", "/", false, true);
}

void DatabaseManagerTest::recognisesProjectFolders()
{
    QFETCH(QString, folderName);
    QFETCH(QString, trailing);
    QFETCH(bool, withModel);
    QFETCH(bool, withDatabase);
    const bool isProject = withModel && withDatabase;

    const QString folder = m_dir.filePath(folderName.isEmpty() ? "absent" : folderName);
    if (!folderName.isEmpty()) {
        QVERIFY(QDir().mkpath(folder));
        if (withModel && withDatabase) {
            Builder::writeUsableProject(folder);
        } else if (withModel) {
            Builder::writeBytes(folder + "/" + Builder::modelFileName(), "not a model");
        } else if (withDatabase) {
            Builder::writeDatabaseFile(folder + "/" + Builder::databaseFileName(), "");
        }
    }

    const QString path = folder + trailing;
    QCOMPARE(DatabaseManager::ProjectExists(path), isProject);
    const std::shared_ptr<DatabaseManager> manager = DatabaseManager::OpenProject(path);
    QCOMPARE(manager != nullptr, isProject);
    if (manager) {
        QVERIFY(!manager->ProjectModel().isNull());
        QVERIFY(manager->SqliteProjectData() && manager->SqliteProjectData()->isOpen());
        // Joined directly to the folder, written once with its separator.
        QCOMPARE(QString::fromStdString(manager->SqliteProjectData()->path()),
            folder + "/" + Builder::databaseFileName());
    }
}

void DatabaseManagerTest::handsOutLoadedManagers_data()
{
    QTest::addColumn<QByteArray>("modelJson");

    const QByteArray table = Builder::projectTable(11, 12, true);
    QTest::newRow("model stored in mode 0") << Builder::model({ table }, Builder::converted(), 0);
    QTest::newRow("model stored read-only") << Builder::model({ table }, Builder::converted(), 1);
    QTest::newRow("model stored ready") << Builder::model({ table }, Builder::converted(), 2);
    QTest::newRow("unconverted model") << Builder::model({ Builder::projectTable(11, 12) });
}

void DatabaseManagerTest::handsOutLoadedManagers()
{
    QFETCH(QByteArray, modelJson);
    const QString folder = m_dir.filePath(QTest::currentDataTag());
    Builder::write(folder, modelJson);

    const std::shared_ptr<DatabaseManager> manager = DatabaseManager::OpenProject(folder);
    QVERIFY(manager);
    const TesselModel model = manager->ProjectModel();
    QCOMPARE(model.mode(), tmRuntime);
    const TesselTable project = model.findTable("DB", "project");
    QVERIFY(!project.isNull());
    QCOMPARE(project.recordCount(), 1);
    QCOMPARE(project[0].asUInt64("id"), 11ull);
}

void DatabaseManagerTest::unreadableFilesRaise_data()
{
    QTest::addColumn<QByteArray>("modelBytes");
    QTest::addColumn<QByteArray>("databaseBytes");
    QTest::addColumn<QString>("expectedText");

    const QByteArray database = "SQLite format 3";
    QTest::newRow("model file that is no model") << QByteArray("not a model at all") << database
                                                 << QString(); // the model library's own text
    QTest::newRow("database file that is no database")
        << QByteArray() << QByteArray(4096, 'x') << "file is not a database";
    // A marked identifier whose text is no number cannot be converted.
    QTest::newRow("identifier that is no number")
        << Builder::model({ R"({"name": "wall", "primaryKey": 0,
               "fields": [{"name": "id", "type": "string",
                           "extPropDefs": [{"code": "DataType", "value": "Int64"}]}],
               "records": [{"id64": 5, "values": ["five"]}]})" })
        << database << QString();
}

void DatabaseManagerTest::unreadableFilesRaise()
{
    QFETCH(QByteArray, modelBytes);
    QFETCH(QByteArray, databaseBytes);
    QFETCH(QString, expectedText);

    const QString folder = m_dir.filePath(QTest::currentDataTag());
    Builder::writeUsableProject(folder);
    const QString modelPath = folder + "/" + Builder::modelFileName();
    if (modelBytes.startsWith('{'))
        Builder::writeModelFile(modelPath, modelBytes);
    else if (!modelBytes.isEmpty())
        Builder::writeBytes(modelPath, modelBytes);
    if (databaseBytes != "SQLite format 3")
        Builder::writeBytes(folder + "/" + Builder::databaseFileName(), databaseBytes);

    if (expectedText.isEmpty()) {
        // Whatever the model library says about the file is passed on.
        TesselModel probe = tesselEngine(QString()).createModel(true, VellEngine());
        try {
            TesselModelPersistent(probe).loadFromFile(modelPath, false, true);
            probe.setMode(tmDesign);
            probe.databases(0).tables().items(0).tableSchema().fieldSchemas().items(0).setDataType(
                tdtInt64);
            QFAIL("the fixture was readable");
        } catch (const KRVException& e) {
            expectedText = e.message();
        }
    }

    try {
        DatabaseManager::OpenProject(folder);
        QFAIL("opening did not raise");
    } catch (const BIMException& e) {
        QCOMPARE(e.code(), 0);
        QVERIFY2(e.message().contains(expectedText), qPrintable(e.message()));
    }
}

void DatabaseManagerTest::copiesShareTheStores()
{
    const QString folder = m_dir.filePath("shared");
    Builder::writeUsableProject(folder);
    std::shared_ptr<DatabaseManager> original = DatabaseManager::OpenProject(folder);
    QVERIFY(original);
    const TesselModel model = original->ProjectModel();
    KSQLite::KSqlDatabase* database = original->SqliteProjectData();

    DatabaseManager copy(*original);
    QVERIFY(copy.ProjectModel() == model);
    QCOMPARE(copy.SqliteProjectData(), database);

    std::shared_ptr<DatabaseManager> other = DatabaseManager::OpenProject(folder);
    QVERIFY(other->ProjectModel() != model);
    *other = copy;
    QVERIFY(other->ProjectModel() == model);
    QCOMPARE(other->SqliteProjectData(), database);

    // The stores outlive the manager they came from.
    original.reset();
    QVERIFY(database->isOpen());
    QCOMPARE(database->exec("UPDATE project SET name = 'renamed'"), 1);
}

QTEST_GUILESS_MAIN(DatabaseManagerTest)
#include "tst_databasemanager.moc"
