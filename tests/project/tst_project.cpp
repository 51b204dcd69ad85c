// Project as a host drives it: opening and what the host sees when that fails,
// the session, and updates through the real platform hub with a scripted
// central service. The demo host's test runs them with the local central store.

#include "ProjectFolders.h"
#include "Raised.h"
#include "RegisteredProject.h"
#include "ScriptedCentralService.h"

#include <bimcore/core/Global.h>
#include <bimcore/storage/DatabaseManager.h>

#include <bimcore/platform/krvcommon/KRVException.h>
#include <bimcore/platform/ksqlite/KSqlDatabase.h>

#include <QtTest>

#include <memory>

using namespace PlatformSvcComm;
using namespace ProjectFolders;

Q_DECLARE_METATYPE(ProjectFolders::Revision)

namespace {

const QString kOpenFailed = QString::fromUtf8("打开项目失败！");
constexpr long long kProjectId = 880;

// A central service that fails with `error` if one is given, and otherwise
// answers with `changes`, after writing a usable project into the folder asked
// for if `delivers`.
std::shared_ptr<ScriptedCentralService> serve(
    const TableChangeMap& changes = {}, bool delivers = true, const std::wstring& error = {})
{
    return ScriptedCentralService::install(
        [=](const FileProcessParams& params, int, CentralServiceContext& context) {
            if (!error.empty())
                return context.Fail(error);
            if (delivers)
                writeProject(QString::fromStdWString(params.m_projectPath));
            context.Respond(changes);
        });
}

} // namespace

class ProjectTest : public QObject
{
    Q_OBJECT

    RegisteredProject* m_project = nullptr;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;

    Global& global() { return *Singleton<Global>::instance(); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_folder = m_dir->filePath("projects/项目 P-880");
        global().m_projectId = kProjectId;
        global().m_projectKey = "P-880";
        global().m_projectPath = m_folder;
        global().m_projectCacheDir = m_dir->filePath("cache");
        global().m_account = "zhang.san";
        global().m_userID = "u-1";
        global().m_displayName = "张三";
        global().m_token = "Bearer t0k3n";
        global().m_tenantID = "tenant-9";
        global().m_productCode = "BIM";
        m_project = new RegisteredProject();
    }

    void cleanup()
    {
        Project::destory();
        GetPlatformCommunicationNexus()->SetCentralService(nullptr);
    }

    void registrationAndDestruction()
    {
        writeProject(m_folder);
        QVERIFY(m_project->open(nullptr));
        const std::shared_ptr<DatabaseManager> stores = m_project->GetDatabaseManager();

        Project::destory();
        // The project, deleted, closes the database even for those who still hold it.
        QVERIFY(!stores->SqliteProjectData()->isOpen());
    }

    void opens_data()
    {
        QTest::addColumn<bool>("local");
        QTest::addColumn<Revision>("model");
        QTest::addColumn<QString>("converted");
        QTest::addColumn<bool>("fetches");
        QTest::addColumn<bool>("raises"); // the data-model library's exception
        const Table noRecord { "project", projectTable(1).fields, {} };
        const Table other { "specialty", { { "name", tdtString } }, {} };
        const Table noId { "project", { { "name", tdtString } }, { { 1, { "Sample" } } }, -1 };
        QTest::newRow("usable local copy")
            << true << Revision { projectTable(4242) } << "" << false << false;
        QTest::newRow("no project folder") << false << Revision {} << "" << true << false;
        QTest::newRow("project record missing")
            << true << Revision { noRecord } << "" << true << false;
        QTest::newRow("project id 0") << true << Revision { projectTable(0) } << "" << true << false;
        QTest::newRow("project id 0, converted")
            << true << Revision { projectTable(0, 7001, true) } << "True" << true << false;
        // The local files are kept for the host to see what is wrong.
        QTest::newRow("no project table") << true << Revision { other } << "" << false << true;
        QTest::newRow("no id field") << true << Revision { noId } << "" << false << true;
    }

    // A local copy without a usable "project" record is fetched through the
    // base update, not the host's override.
    void opens()
    {
        QFETCH(bool, local);
        QFETCH(Revision, model);
        QFETCH(QString, converted);
        QFETCH(bool, fetches);
        QFETCH(bool, raises);
        if (local) {
            writeProject(m_folder);
            writeModel(m_folder + "/" + kModelFile, model, converted);
        }
        const auto service = serve({ { L"segment", { { 1, RecordAdded } } } });
        if (raises) {
            QVERIFY_EXCEPTION_THROWN(m_project->open(nullptr), KRVException);
            QCOMPARE(service->requests().size(), size_t(0));
            return;
        }

        QVERIFY(m_project->open(nullptr));
        QCOMPARE(service->requests().size(), size_t(fetches));
        QCOMPARE(m_project->updateOverrideCalls, 0);
        // The "project" table is read through the virtual operation.
        QCOMPARE(m_project->tableRequests, local ? 1 : 0);
        QCOMPARE(m_project->workspaceId(), QString("7001"));
        // A project fetched for the first time reports no changes.
        if (!local)
            QVERIFY(m_project->getChangedDelta().tables.empty());
    }

    void failedOpenRaisesOneMessage_data()
    {
        QTest::addColumn<QString>("brokenFile");
        QTest::addColumn<QByteArray>("bytes"); // empty: the file is removed
        QTest::newRow("model file missing") << kModelFile << QByteArray();
        QTest::newRow("database file that is no database")
            << kDatabaseFile << QByteArray(2048, '\x7f');
    }

    // A folder that is no project (a file missing) leaves the project closed;
    // a load that raises leaves the stores it had.
    void failedOpenRaisesOneMessage()
    {
        QFETCH(QString, brokenFile);
        QFETCH(QByteArray, bytes);
        writeProject(m_folder);
        QVERIFY(m_project->open(nullptr));
        const std::shared_ptr<DatabaseManager> stores = m_project->GetDatabaseManager();
        const QString broken = m_folder + "-broken";
        writeProject(broken);
        if (bytes.isEmpty())
            QVERIFY(QFile::remove(broken + "/" + brokenFile));
        else
            writeBytes(broken + "/" + brokenFile, bytes);
        global().m_projectPath = broken;
        const auto service = serve();

        QCOMPARE(raisedBy([&] { m_project->open(nullptr); }), "BIMException 0: " + kOpenFailed);
        QVERIFY(!m_project->opened());
        QCOMPARE(m_project->GetDatabaseManager(), bytes.isEmpty() ? nullptr : stores);
        QVERIFY(stores->SqliteProjectData()->isOpen());
        QVERIFY(service->requests().empty());
    }

    void opensOnDemand()
    {
        writeProject(m_folder);
        // Whatever path is given, the project folder of the launch parameters opens.
        QVERIFY(m_project->OpenProject(m_dir->filePath("elsewhere")));
        m_project->close();
        QCOMPARE(m_project->getSQLTable("project").rowCount(), 1);
        m_project->close();
        QCOMPARE(m_project->workspaceId(), QString("7001"));

        writeModel(m_folder + "/" + kModelFile, { { "project", projectTable(1).fields, {} } });
        m_project->close();
        QCOMPARE(m_project->workspaceId(), QString());
    }

    void sessionOfAnOpenProject()
    {
        writeProject(m_folder);
        QVERIFY(m_project->open(nullptr));
        m_project->getChangedDelta().tables[L"site"][7] = 1;

        // clear() removes the cache folder only.
        const QString cache = global().m_projectCacheDir;
        QVERIFY(QDir().mkpath(cache + "/nested/deeper"));
        writeBytes(cache + "/nested/deeper/file", "cached");
        QVERIFY(m_project->clear());
        QVERIFY(!QFileInfo::exists(cache));
        QVERIFY(m_project->GetDatabaseManager());
        QVERIFY(QFileInfo::exists(m_folder + "/" + kModelFile));

        // close() forgets the session but keeps the last error.
        m_project->setError("last error");
        QVERIFY(m_project->close());
        QVERIFY(!m_project->GetDatabaseManager());
        QVERIFY(m_project->getChangedDelta().tables.empty());
        QCOMPARE(m_project->GetErrorMsg(), QString("last error"));
    }

    void needResetModel_data()
    {
        QTest::addColumn<QStringList>("tables");
        QTest::addColumn<bool>("reset");
        QTest::newRow("segment among others")
            << QStringList { "element_type", "specialty", "segment", "project" } << true;
        QTest::newRow("near misses: letter case, blank, prefix, empty")
            << QStringList { "Segment", "SITE", "material ", "segment_elem", "" } << false;
        for (const char* table :
            { "model_file_revision", "site", "site_file", "segment", "segment_line",
                "segment_element", "segment_floor", "segment_element_type_sub_class",
                "segment_system", "segment_custom_filter", "material", "material_plan_detail" })
            QTest::newRow(table) << QStringList { table } << true;
    }

    void needResetModel()
    {
        QFETCH(QStringList, tables);
        QFETCH(bool, reset);
        for (const QString& table : tables) // a changed table may list no record
            m_project->getChangedDelta().tables[table.toStdWString()];
        QCOMPARE(m_project->needResetModel(), reset);
    }

    void requestCarriesTheLaunchParameters()
    {
        writeProject(m_folder);
        const auto service = serve({}, false);
        QVERIFY(m_project->updateProject(nullptr));

        const auto requests = service->requests();
        QCOMPARE(requests.size(), size_t(1));
        const FileProcessParams& params = requests[0].first;
        QCOMPARE(requests[0].second, 1);
        QCOMPARE(params.m_projectId, kProjectId);
        const std::vector<std::wstring> texts { params.m_projectKey, params.m_projectPath,
            params.m_account, params.m_operation, params.m_userID, params.m_displayName,
            params.m_token, params.m_tenantID, params.m_productCode };
        const std::vector<std::wstring> expected { L"P-880", m_folder.toStdWString(), L"zhang.san",
            kFetchProjectFilesOperation, L"u-1", L"张三", L"Bearer t0k3n", L"tenant-9", L"BIM" };
        QVERIFY(texts == expected);
    }

    void failedUpdateThenSuccessfulOne()
    {
        writeProject(m_folder);
        QVERIFY(m_project->open(nullptr));
        m_project->getChangedDelta().tables[L"stale"] = { { 1, 1 } };
        serve({}, false, L"中心服务不可用");
        QVERIFY(!m_project->updateProject(nullptr));
        QCOMPARE(m_project->GetErrorMsg(), QStringLiteral("中心服务不可用"));
        QVERIFY(m_project->GetDatabaseManager()); // the local copy is open again
        QVERIFY(m_project->getChangedDelta().tables.empty());

        const TableChangeMap changes { { L"segment", { { 2, RecordChanged } } },
            { L"material", { { 5, RecordAdded } } } };
        serve(changes, false);
        QVERIFY(m_project->updateProject(nullptr));
        QCOMPARE(m_project->GetErrorMsg(), QString());
        QVERIFY(m_project->getChangedDelta().tables == changes);
        QVERIFY(m_project->GetDatabaseManager());
    }

    void reopeningFailuresThrow_data()
    {
        QTest::addColumn<QString>("error");
        QTest::newRow("service fails, no local copy to reopen") << "项目不存在";
        QTest::newRow("service succeeds but wrote no files") << "";
    }

    void reopeningFailuresThrow()
    {
        QFETCH(QString, error);
        serve({}, false, error.toStdWString());
        QCOMPARE(
            raisedBy([&] { m_project->updateProject(nullptr); }), "BIMException 0: " + kOpenFailed);
        QCOMPARE(m_project->GetErrorMsg(), error);
        QVERIFY(!m_project->GetDatabaseManager());
    }
};

QTEST_MAIN(ProjectTest)
#include "tst_project.moc"
