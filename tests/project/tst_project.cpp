// Project as a host drives it: opening and what the host sees when that fails,
// the session, and updates through the real platform hub and the library's
// event bridge with a scripted central service.

#include "ProjectFolders.h"
#include "Raised.h"
#include "RegisteredProject.h"
#include "ScriptedCentralService.h"

#include <bimcore/core/Global.h>
#include <bimcore/project/PlatformEventNexus.h>
#include <bimcore/storage/DatabaseManager.h>

#include <bimcore/platform/krvcommon/KRVException.h>
#include <bimcore/platform/ksqlite/KSqlDatabase.h>
#include <bimcore/platform/ksqlite/KSqlException.h>
#include <bimcore/platform/platformsvc/PlatformEvent.h>

#include <QtTest>

#include <memory>
#include <stdexcept>

using namespace PlatformSvcComm;
using namespace ProjectFolders;

using Script = std::function<void(CentralServiceContext&)>;
Q_DECLARE_METATYPE(ProjectFolders::Revision)
Q_DECLARE_METATYPE(PlatformSvcComm::TableChangeMap)
Q_DECLARE_METATYPE(Script)

namespace {

const QString kOpenFailed = QString::fromUtf8("BIMException 0: 打开项目失败！");
constexpr long long kProjectId = 880;

std::shared_ptr<ScriptedCentralService> serve(const Script& script)
{
    return ScriptedCentralService::install(
        [script](const FileProcessParams&, int, CentralServiceContext& context) { script(context); });
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
        QCoreApplication::processEvents(); // what the hub sent after an earlier wait
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

    void opens_data()
    {
        QTest::addColumn<Revision>("model"); // none: no project folder
        QTest::addColumn<QString>("outcome");
        const Table noRecord { "project", projectTable(1).fields, {} };
        const Table other { "specialty", { { "name", tdtString } }, {} };
        const Table noId { "project", { { "name", tdtString } }, { { 1, { "Sample" } } }, -1 };
        QTest::newRow("usable local copy") << Revision { projectTable(4242) } << "opens";
        QTest::newRow("no project folder") << Revision {} << "fetches";
        QTest::newRow("project record missing") << Revision { noRecord } << "fetches";
        QTest::newRow("project id 0") << Revision { projectTable(0) } << "fetches";
        QTest::newRow("project id 0, converted") << Revision { projectTable(0, 7001, true) } << "fetches";
        // The local files are kept for the host to see what is wrong.
        QTest::newRow("no project table") << Revision { other } << "raises";
        QTest::newRow("no id field") << Revision { noId } << "raises";
    }

    // A local copy without a usable "project" record is fetched through the
    // base update, not the host's override; the data-model library's
    // exception reaches the host.
    void opens()
    {
        QFETCH(Revision, model);
        QFETCH(QString, outcome);
        const bool local = !model.empty();
        if (local) {
            writeProject(m_folder);
            const bool converted = model[0].fields[0].type == tdtInt64;
            writeModel(m_folder + "/" + kModelFile, model, converted ? "True" : "");
        }
        const auto service = serve([this](CentralServiceContext& context) {
            writeProject(m_folder);
            context.Respond({ { L"segment", { { 1, RecordAdded } } } });
        });
        if (outcome == "raises") {
            QVERIFY_EXCEPTION_THROWN(m_project->open(nullptr), KRVException);
            QCOMPARE(service->requests().size(), size_t(0));
            return;
        }

        QVERIFY(m_project->open(nullptr));
        QCOMPARE(service->requests().size(), size_t(outcome == "fetches"));
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
        const auto service = serve([](CentralServiceContext& context) { context.Respond({}); });

        QCOMPARE(raisedBy([&] { m_project->open(nullptr); }), kOpenFailed);
        QVERIFY(!m_project->opened());
        QCOMPARE(m_project->GetDatabaseManager(), bytes.isEmpty() ? nullptr : stores);
        QVERIFY(stores->SqliteProjectData()->isOpen());
        QVERIFY(service->requests().empty());
        // The cause stays for the host's developer until an open succeeds.
        QVERIFY2(m_project->lastOpenError().startsWith(broken + ": "), qPrintable(m_project->lastOpenError()));
        global().m_projectPath = m_folder;
        QVERIFY(m_project->open(nullptr) && m_project->lastOpenError().isEmpty());
    }

    // Lazy opens of the launch parameters' folder, whatever path is given;
    // tables by the host's name, quoted, never run as SQL; clear() removes
    // the cache folder only; close() forgets all but the last error, and a
    // table kept past it still reads; the registered project's removal.
    void session()
    {
        writeProject(m_folder);
        QVERIFY(m_project->OpenProject(m_dir->filePath("elsewhere")));
        m_project->close();
        QVERIFY(!m_project->getSQLTable("project\"; DROP TABLE project; --").isValid());
        QCOMPARE(m_project->getSQLTable("project").rowCount(), 1);
        const TesselTable kept = m_project->getTesselTable("project");

        const QString cache = global().m_projectCacheDir;
        QVERIFY(QDir().mkpath(cache + "/nested"));
        writeBytes(cache + "/nested/file", "cached");
        QVERIFY(m_project->clear() && !QFileInfo::exists(cache));
        QVERIFY(m_project->GetDatabaseManager() && QFileInfo::exists(m_folder + "/" + kModelFile));

        m_project->getChangedDelta().tables[L"site"][7] = 1;
        m_project->setError("last error");
        QVERIFY(m_project->close());
        QVERIFY(!m_project->GetDatabaseManager() && m_project->getChangedDelta().tables.empty());
        QCOMPARE(m_project->GetErrorMsg(), QString("last error"));
        QCOMPARE(kept.recordCount(), 1);
        writeModel(m_folder + "/" + kModelFile, { { "project", projectTable(1).fields, {} } });
        QCOMPARE(m_project->workspaceId(), QString());

        // The project, deleted, closes the database even for those who still
        // hold it; a table kept past it raises instead of reading freed memory.
        const std::shared_ptr<DatabaseManager> stores = m_project->GetDatabaseManager();
        const KSQLite::KSqlTable sql = m_project->getSQLTable("project");
        Project::destory();
        QVERIFY(!stores->SqliteProjectData()->isOpen());
        QVERIFY_EXCEPTION_THROWN(sql.rowCount(), KSQLite::KSqlException);
    }

    // Which of the hub's broadcasts end the wait of an update and what reaches
    // its result, its error text and the change record; an update that fails
    // keeps nothing of an earlier one, and one that succeeds clears the error.
    void update_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<QString>("result"); // "true", "false", or what it raised
        QTest::addColumn<QString>("error");
        QTest::addColumn<TableChangeMap>("delta");

        static const TableChangeMap changes { { L"segment", { { 1, 2 }, { 2, 1 } } },
            { L"site", { { 9, 3 } } } };
        const auto row = [](const char* name, const Script& script, const char* result,
                             const char* error, const TableChangeMap& delta = {}) {
            QTest::newRow(name) << script << result << QString::fromUtf8(error) << delta;
        };
        // Progress without a callback goes nowhere.
        row("response for the project", [](CentralServiceContext& context) {
            context.ReportProgress(L"nobody hears this", 50);
            context.Respond(changes);
        }, "true", "", changes);
        row("service fails", [](CentralServiceContext& context) { context.Fail(L"中心服务不可用"); },
            "false", "中心服务不可用");
        row("response for another project is passed over", [](CentralServiceContext& context) {
            context.Broadcast(PlatformEvent::makeResponse(kProjectId + 1, changes));
            context.Respond({ { L"element_type", { { 5, 1 } } } });
        }, "true", "", { { L"element_type", { { 5, 1 } } } });
        row("error for another project ends the wait", [](CentralServiceContext& context) {
            context.Answer(PlatformEvent::makeError(kProjectId + 1, L"另一个项目出错"));
        }, "false", "另一个项目出错");
        row("start, unknown, longer and null events are passed over",
            [](CentralServiceContext& context) {
                context.Broadcast(PlatformEvent::makeStart(kProjectId));
                for (const wchar_t* type : { L"CentralSvcFileProcResponseEventV2",
                         L"centralsvcfileprocresponseevent", L"SomethingElse" })
                    context.Broadcast(PlatformEvent::makeOther(type, kProjectId));
                context.Broadcast(PlatformEventRef());
                context.Respond(changes);
            }, "true", "", changes);
        row("error without text", [](CentralServiceContext& context) {
            context.Answer(PlatformEvent::makeOther(kPlatformErrorEvent, kProjectId));
        }, "false", "");
        // The hub answers for a service that does not.
        row("service ends without an answer", [](CentralServiceContext&) {}, "false",
            "The central service ended without an answer.");
        row("service throws", [](CentralServiceContext&) { throw std::runtime_error("store on fire"); },
            "false", "store on fire");
        // Arrives after the wait has ended: still recorded, without replacing
        // the table already there.
        row("later response", [](CentralServiceContext& context) {
            context.Respond({ { L"segment", { { 1, 1 } } } });
            context.Broadcast(PlatformEvent::makeResponse(
                kProjectId, { { L"segment", { { 7, 7 } } }, { L"site", { { 2, 2 } } } }));
        }, "true", "", { { L"segment", { { 1, 1 } } }, { L"site", { { 2, 2 } } } });
        // Without a local copy to open again.
        row("service fails, no local copy", [](CentralServiceContext& context) {
            context.Fail(L"项目不存在");
        }, "BIMException 0: 打开项目失败！", "项目不存在");
        row("service succeeds but wrote no files",
            [](CentralServiceContext& context) { context.Respond({}); },
            "BIMException 0: 打开项目失败！", "");
    }

    void update()
    {
        QFETCH(Script, script);
        QFETCH(QString, result);
        QFETCH(QString, error);
        QFETCH(TableChangeMap, delta);
        const bool local = !result.startsWith("BIMException");
        if (local) {
            writeProject(m_folder);
            QVERIFY(m_project->open(nullptr));
        }
        m_project->getChangedDelta().tables[L"stale"] = { { 1, 1 } };
        m_project->setError("stale");
        const auto service = serve(script);

        bool updated = false;
        const QString raised = raisedBy([&] { updated = m_project->updateProject(nullptr); });
        QCOMPARE(raised == "nothing" ? QString(updated ? "true" : "false") : raised, result);
        drainHubWorker();
        QCoreApplication::processEvents(); // what the hub's worker sent after the wait
        QCOMPARE(m_project->GetErrorMsg(), error);
        QVERIFY(m_project->getChangedDelta().tables == delta);
        QCOMPARE(m_project->GetDatabaseManager() != nullptr, local); // the local copy open again

        // The request carries the launch parameters.
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
};

QTEST_MAIN(ProjectTest)
#include "tst_project.moc"
