#include "ProjectFolderBuilder.h"
#include "RegisteredProject.h"
#include "ScriptedCentralService.h"

#include <core/BIMException.h>
#include <core/Global.h>
#include <storage/DatabaseManager.h>

#include <ksqlite/KSqlDatabase.h>
#include <tessel/TesselModel.h>

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using Builder = ProjectFolderBuilder;

namespace {

const QString kOpenFailed = QString::fromUtf8("打开项目失败！");

Global& global()
{
    return *Singleton<Global>::instance();
}

// A central service that delivers a usable project into the folder asked for.
std::shared_ptr<ScriptedCentralService> installDeliveringService()
{
    return ScriptedCentralService::install(
        [](const FileProcessParams& params, int, PlatformSvcComm::CentralServiceContext& context) {
            ProjectFolderBuilder::writeUsableProject(QString::fromStdWString(params.m_projectPath));
            context.Respond({});
        });
}

} // namespace

class ProjectTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void registrationAndDestruction();
    void opens_data();
    void opens();
    void failedOpenRaisesOneMessage_data();
    void failedOpenRaisesOneMessage();
    void failedOpenKeepsTheOpenStores();
    void opensOnDemand();
    void sessionOfAnOpenProject();

private:
    RegisteredProject* m_project = nullptr;
    QTemporaryDir m_dir;
    QString m_folder;
};

void ProjectTest::init()
{
    m_folder = m_dir.filePath(QStringLiteral("项目 %1").arg(QTest::currentDataTag()))
        + QTest::currentTestFunction();
    global().m_projectPath = m_folder;
    global().m_projectCacheDir = m_folder + "-cache";
    m_project = new RegisteredProject();
}

void ProjectTest::cleanup()
{
    Project::destory();
    m_project = nullptr;
    PlatformSvcComm::GetPlatformCommunicationNexus()->SetCentralService(nullptr);
}

void ProjectTest::registrationAndDestruction()
{
    bool destroyed = false;
    m_project->destroyedFlag = &destroyed;
    QCOMPARE(Project::instance(), static_cast<Project*>(m_project));

    Builder::writeUsableProject(m_folder);
    QVERIFY(m_project->open(nullptr));
    const std::shared_ptr<DatabaseManager> stores = m_project->GetDatabaseManager();

    Project::destory();
    QVERIFY(destroyed);
    QCOMPARE(Project::instance(), nullptr);
    // The project closes the database even for those who still hold it.
    QVERIFY(!stores->SqliteProjectData()->isOpen());

    Project::destory(); // nothing registered: nothing happens
    QCOMPARE(Project::instance(), nullptr);
}

void ProjectTest::opens_data()
{
    QTest::addColumn<QByteArray>("modelJson"); // empty: no project folder
    QTest::addColumn<bool>("fetches");

    QTest::newRow("usable local copy")
        << Builder::model({ Builder::projectTable(4242, 7001) }) << false;
    QTest::newRow("no project folder") << QByteArray() << true;
    QTest::newRow("project record missing")
        << Builder::model({ Builder::emptyProjectTable() }) << true;
    QTest::newRow("project id 0") << Builder::model({ Builder::projectTable(0, 7001) }) << true;
    QTest::newRow("project id 0, converted")
        << Builder::model({ Builder::projectTable(0, 7001, true) }, Builder::converted()) << true;
    QTest::newRow("no project table") << Builder::model({ Builder::specialtyTable({}) }) << true;
}

// A local copy without a usable "project" record is fetched through the base
// update, not the host's override.
void ProjectTest::opens()
{
    QFETCH(QByteArray, modelJson);
    QFETCH(bool, fetches);
    if (!modelJson.isEmpty())
        Builder::write(m_folder, modelJson);
    const auto service = installDeliveringService();

    QVERIFY(m_project->open(nullptr));
    QVERIFY(m_project->opened());
    QVERIFY(m_project->GetDatabaseManager());
    QCOMPARE(service->requests().size(), size_t(fetches ? 1 : 0));
    QCOMPARE(m_project->updateOverrideCalls, 0);
    // The "project" table is read through the virtual operation.
    QCOMPARE(m_project->tableRequests, modelJson.isEmpty() ? 0 : 1);
    QCOMPARE(m_project->workspaceId(), QString("7001"));
    QVERIFY(!m_project->save());
}

void ProjectTest::failedOpenRaisesOneMessage_data()
{
    QTest::addColumn<QString>("brokenFile");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("model file missing") << Builder::modelFileName() << QByteArray();
    QTest::newRow("database file missing") << Builder::databaseFileName() << QByteArray();
    QTest::newRow("model file that is no model") << Builder::modelFileName() << QByteArray("{}");
    QTest::newRow("database file that is no database")
        << Builder::databaseFileName() << QByteArray(2048, '\x7f');
}

void ProjectTest::failedOpenRaisesOneMessage()
{
    QFETCH(QString, brokenFile);
    QFETCH(QByteArray, bytes);
    Builder::writeUsableProject(m_folder);
    const QString path = m_folder + "/" + brokenFile;
    if (bytes.isEmpty())
        QVERIFY(QFile::remove(path));
    else
        Builder::writeBytes(path, bytes);
    const auto service = installDeliveringService();

    try {
        m_project->open(nullptr);
        QFAIL("open did not raise");
    } catch (const BIMException& e) {
        QCOMPARE(e.message(), kOpenFailed);
        QCOMPARE(e.code(), 0);
        QCOMPARE(QString::fromUtf8(e.what()), kOpenFailed);
    }
    QVERIFY(!m_project->opened());
    QVERIFY(!m_project->GetDatabaseManager());
    QVERIFY(service->requests().empty());
    // The lazy openers raise the same way.
    QVERIFY_EXCEPTION_THROWN(m_project->getSQLTable("project"), BIMException);
    QVERIFY_EXCEPTION_THROWN(m_project->workspaceId(), BIMException);
}

void ProjectTest::failedOpenKeepsTheOpenStores()
{
    Builder::writeUsableProject(m_folder);
    QVERIFY(m_project->open(nullptr));
    const std::shared_ptr<DatabaseManager> stores = m_project->GetDatabaseManager();

    const QString broken = m_folder + "-broken";
    Builder::writeUsableProject(broken);
    Builder::writeBytes(broken + "/" + Builder::modelFileName(), "garbage");
    global().m_projectPath = broken;
    QVERIFY_EXCEPTION_THROWN(m_project->open(nullptr), BIMException);
    QCOMPARE(m_project->GetDatabaseManager(), stores);
    QVERIFY(stores->SqliteProjectData()->isOpen());
}

void ProjectTest::opensOnDemand()
{
    Builder::write(m_folder,
        Builder::model({ Builder::projectTable(4242, 7001), Builder::specialtyTable({}) }));

    // Whatever path is given, the project folder of the launch parameters opens.
    QVERIFY(m_project->OpenProject(m_dir.filePath("elsewhere")));
    const std::shared_ptr<DatabaseManager> first = m_project->GetDatabaseManager();
    QVERIFY(first);
    QVERIFY(m_project->OpenProject(QString()));
    QVERIFY(m_project->GetDatabaseManager() != first);

    m_project->close();
    const TesselTable specialty = m_project->getTesselTable("specialty");
    QVERIFY(!specialty.isNull());
    QVERIFY(m_project->getTesselTable("no such table").isNull());
    QVERIFY(m_project->GetDatabaseManager());

    m_project->close();
    const KSQLite::KSqlTable project = m_project->getSQLTable("project");
    QVERIFY(project.isValid());
    QCOMPARE(project.rowCount(), 1);
    QVERIFY(!m_project->getSQLTable("no such table").isValid());

    m_project->close();
    QCOMPARE(m_project->workspaceId(), QString("7001"));
    QVERIFY(m_project->GetDatabaseManager());

    // No "project" record: no workspace.
    global().m_projectPath = m_folder + "-no-record";
    Builder::write(global().m_projectPath, Builder::model({ Builder::emptyProjectTable() }));
    m_project->close();
    QCOMPARE(m_project->workspaceId(), QString());
    QVERIFY(m_project->GetDatabaseManager());
}

void ProjectTest::sessionOfAnOpenProject()
{
    Builder::writeUsableProject(m_folder);
    QVERIFY(m_project->open(nullptr));
    m_project->getChangedDelta().tables[L"site"][7] = 1;

    // A copy shares the stores but keeps its own change record.
    RegisteredProject copy(*m_project);
    QCOMPARE(copy.GetDatabaseManager(), m_project->GetDatabaseManager());
    copy.getChangedDelta().tables[L"site"][8] = 1;
    QCOMPARE(m_project->getChangedDelta().tables[L"site"].size(), size_t(1));
    QCOMPARE(copy.getChangedDelta().tables[L"site"].size(), size_t(2));
    QCOMPARE(Project::instance(), static_cast<Project*>(m_project));

    // clear() removes the cache folder only.
    const QString cache = global().m_projectCacheDir;
    QVERIFY(QDir().mkpath(cache + "/nested/deeper"));
    Builder::writeBytes(cache + "/nested/deeper/file", "cached");
    QVERIFY(m_project->clear());
    QVERIFY(!QFileInfo::exists(cache));
    QVERIFY(m_project->GetDatabaseManager());
    QVERIFY(QFileInfo::exists(m_folder + "/" + Builder::modelFileName()));
    QVERIFY(m_project->clear()); // nothing left to remove
    Builder::writeBytes(cache, "a file, not a folder");
    QVERIFY(!m_project->clear());

    // close() forgets the session but keeps the last error.
    m_project->setTexts("kept by the host", "last error");
    QVERIFY(m_project->close());
    QVERIFY(m_project->close());
    QVERIFY(!m_project->GetDatabaseManager());
    QVERIFY(m_project->getChangedDelta().tables.empty());
    for (int which = 1; which <= 3; ++which)
        QVERIFY(m_project->info(which).isEmpty());
    QCOMPARE(m_project->GetErrorMsg(), QString("last error"));
    QVERIFY(m_project->opened());
}

QTEST_GUILESS_MAIN(ProjectTest)
#include "tst_project.moc"
