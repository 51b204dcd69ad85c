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
    QTest::addColumn<QByteArray>("model"); // JSON, other bytes, or empty for no file
    QTest::addColumn<bool>("withDatabase");
    const auto row = [](const char* tag, const char* name, const char* trailing,
                         const QByteArray& model, bool database) {
        QTest::newRow(tag) << QString::fromUtf8(name) << QString(trailing) << model << database;
    };
    const QByteArray table = Builder::projectTable(11, 12, true);
    row("unconverted model", "plain", "", Builder::model({ Builder::projectTable(11, 12) }), true);
    row("stored in mode 0, trailing separator", "trailing", "/",
        Builder::model({ table }, Builder::converted(), 0), true);
    row("stored read-only, spaces and non-ASCII", "项目 文件夹 é", "",
        Builder::model({ table }, Builder::converted(), 1), true);
    row("stored ready, spaces and non-ASCII, trailing separator", "项目 文件夹 ü", "/",
        Builder::model({ table }, Builder::converted(), 2), true);
    row("folder missing", "", "", "", false);
    row("empty folder", "empty", "", "", false);
    // The model file here is garbage: were it loaded, opening would raise.
    row("model file only", "model only", "", "not a model", false);
    row("database file only", "database only", "/", "", true);
}

void DatabaseManagerTest::recognisesProjectFolders()
{
    QFETCH(QString, folderName);
    QFETCH(QString, trailing);
    QFETCH(QByteArray, model);
    QFETCH(bool, withDatabase);
    const bool isProject = !model.isEmpty() && withDatabase;

    const QString folder = m_dir.filePath(folderName.isEmpty() ? "absent" : folderName);
    if (!folderName.isEmpty()) {
        QVERIFY(QDir().mkpath(folder));
        if (model.startsWith('{'))
            Builder::writeModelFile(folder + "/" + Builder::modelFileName(), model);
        else if (!model.isEmpty())
            Builder::writeBytes(folder + "/" + Builder::modelFileName(), model);
        if (withDatabase)
            Builder::writeDatabaseFile(
                folder + "/" + Builder::databaseFileName(), Builder::defaultSql());
    }

    const QString path = folder + trailing;
    QCOMPARE(DatabaseManager::ProjectExists(path), isProject);
    const std::shared_ptr<DatabaseManager> manager = DatabaseManager::OpenProject(path);
    QCOMPARE(manager != nullptr, isProject);
    if (!manager)
        return;
    // Handed out ready for use, whatever mode the model was stored in.
    QCOMPARE(manager->ProjectModel().mode(), tmRuntime);
    const TesselTable project = manager->ProjectModel().findTable("DB", "project");
    QVERIFY(!project.isNull() && project.recordCount() == 1);
    QCOMPARE(project[0].asUInt64("id"), 11ull);
    QVERIFY(manager->SqliteProjectData() && manager->SqliteProjectData()->isOpen());
    // Joined directly to the folder, written once with its separator.
    QCOMPARE(QString::fromStdString(manager->SqliteProjectData()->path()),
        folder + "/" + Builder::databaseFileName());
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
