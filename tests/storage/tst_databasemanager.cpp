#include "ProjectFolders.h"

#include <core/BIMException.h>
#include <storage/DatabaseManager.h>

#include <ksqlite/KSqlDatabase.h>

#include <QTemporaryDir>
#include <QtTest>

using namespace ProjectFolders;

class DatabaseManagerTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void recognisesProjectFolders_data()
    {
        QTest::addColumn<QString>("folderName"); // empty: no folder at all
        QTest::addColumn<QString>("trailing");
        QTest::addColumn<QString>("model"); // "plain", "converted", "garbage", or none
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("withDatabase");
        const auto row = [](const char* tag, const char* name, const char* trailing,
                             const char* model, TesselMode mode, bool database) {
            QTest::newRow(tag) << QString::fromUtf8(name) << trailing << model << int(mode)
                               << database;
        };
        row("unconverted model", "plain", "", "plain", tmDesign, true);
        row("stored in design mode, trailing separator", "trailing", "/", "converted", tmDesign,
            true);
        row("stored read-only, spaces and non-ASCII", "项目 文件夹 é", "", "converted", tmReadOnly,
            true);
        row("stored ready, spaces and non-ASCII, trailing separator", "项目 文件夹 ü", "/",
            "converted", tmRuntime, true);
        row("folder missing", "", "", "", tmDesign, false);
        row("empty folder", "empty", "", "", tmDesign, false);
        // The model file here is garbage: were it loaded, opening would raise.
        row("model file only", "model only", "", "garbage", tmDesign, false);
        row("database file only", "database only", "/", "", tmDesign, true);
    }

    void recognisesProjectFolders()
    {
        QFETCH(QString, folderName);
        QFETCH(QString, trailing);
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
            folder + "/" + kDatabaseFile);
    }

    // The host sees what the model and database libraries say.
    void unreadableFilesRaise_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>(
            "bytes"); // empty: a model with an identifier that is no number
        QTest::addColumn<QString>("fragment");
        QTest::newRow("model file that is no model")
            << kModelFile << QByteArray("not a model at all") << "Cannot load model file";
        QTest::newRow("database file that is no database")
            << kDatabaseFile << QByteArray(4096, 'x') << "file is not a database";
        QTest::newRow("identifier that is no number") << kModelFile << QByteArray() << "five";
    }

    void unreadableFilesRaise()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, fragment);
        const QString folder = m_dir.filePath(QTest::currentDataTag());
        writeProject(folder);
        if (bytes.isEmpty())
            writeModel(folder + "/" + file,
                { { "wall", { { "id", tdtString, "Int64" } }, { { 5, { "five" } } } } });
        else
            writeBytes(folder + "/" + file, bytes);
        try {
            DatabaseManager::OpenProject(folder);
            QFAIL("opening did not raise");
        } catch (const BIMException& e) {
            QCOMPARE(e.code(), 0);
            QVERIFY2(e.message().contains(fragment), qPrintable(e.message()));
        }
    }

    void copiesShareTheStores()
    {
        const QString folder = m_dir.filePath("shared");
        writeProject(folder);
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
};

QTEST_GUILESS_MAIN(DatabaseManagerTest)
#include "tst_databasemanager.moc"
