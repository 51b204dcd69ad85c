// Project::updateProject through the real platform hub, with a scripted
// central service and with the local central store.

#include "ProjectFolders.h"
#include "RegisteredProject.h"
#include "ScriptedCentralService.h"

#include <core/BIMException.h>
#include <core/Global.h>
#include <project/PlatformEventNexus.h>
#include <project/Project.h>
#include <storage/DatabaseManager.h>

#include <platformsvc/CommunicationNexus.h>
#include <platformsvc/PlatformEvent.h>

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace PlatformSvcComm;
using namespace ProjectFolders;

namespace {

constexpr long long kProjectId = 880;

std::vector<std::pair<std::wstring, double>> g_progress;

void recordProgress(const wchar_t* text, double value)
{
    g_progress.emplace_back(text, value);
}

const Field kId { QStringLiteral("id"), tdtInt64 };
const Field kName { QStringLiteral("name"), tdtString };

Revision revision(const QString& name)
{
    return { projectTable(77),
        { QStringLiteral("segment"), { kId, kName },
            { { 1, { 1LL, "a" } }, { 2, { 2LL, name } } } } };
}

} // namespace

class TestProjectUpdate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void requestCarriesTheLaunchParameters();
    void firstFetchThroughOpenReportsNoChanges();
    void failedUpdateThenSuccessfulOne();
    void reopeningFailuresThrow_data();
    void reopeningFailuresThrow();
    void localStore_data();
    void localStore();

private:
    RegisteredProject* project() { return static_cast<RegisteredProject*>(Project::instance()); }
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void TestProjectUpdate::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath("projects/P-880");
    Global& global = *Singleton<Global>::instance();
    global.m_projectId = kProjectId;
    global.m_projectKey = "P-880";
    global.m_projectPath = m_path;
    global.m_account = "zhang.san";
    global.m_userID = "u-1";
    global.m_displayName = "张三";
    global.m_token = "Bearer t0k3n";
    global.m_tenantID = "tenant-9";
    global.m_productCode = "BIM";
    new RegisteredProject();
    g_progress.clear();
}

void TestProjectUpdate::cleanup()
{
    Project::destory();
    GetPlatformCommunicationNexus()->SetCentralService(nullptr);
    qunsetenv("BIMCORE_CENTRAL_STORE");
}

void TestProjectUpdate::requestCarriesTheLaunchParameters()
{
    writeProject(m_path, revision("a"), "db");
    auto service = ScriptedCentralService::install(
        [](const FileProcessParams&, int, CentralServiceContext& context) { context.Respond({}); });
    QVERIFY(project()->updateProject(nullptr));

    const auto requests = service->requests();
    QCOMPARE(requests.size(), size_t(1));
    const FileProcessParams& params = requests[0].first;
    QCOMPARE(requests[0].second, 1);
    QCOMPARE(params.m_projectId, kProjectId);
    const std::vector<std::wstring> texts { params.m_projectKey, params.m_projectPath,
        params.m_account, params.m_operation, params.m_userID, params.m_displayName, params.m_token,
        params.m_tenantID, params.m_productCode };
    const std::vector<std::wstring> expected { L"P-880", m_path.toStdWString(), L"zhang.san",
        kFetchProjectFilesOperation, L"u-1", L"张三", L"Bearer t0k3n", L"tenant-9", L"BIM" };
    QVERIFY(texts == expected);
}

void TestProjectUpdate::firstFetchThroughOpenReportsNoChanges()
{
    // The service writes the files and still lists tables: a first fetch
    // reports none.
    ScriptedCentralService::install(
        [](const FileProcessParams& params, int, CentralServiceContext& context) {
            writeProject(QString::fromStdWString(params.m_projectPath), revision("a"), "db");
            context.Respond({ { L"segment", { { 1, RecordAdded } } } });
        });
    QVERIFY(!QFileInfo::exists(m_path));
    QVERIFY(project()->open(&recordProgress));
    QVERIFY(project()->getChangedDelta().tables.empty());
    QVERIFY(project()->GetDatabaseManager());
    QCOMPARE(project()->workspaceId(), QStringLiteral("ws-1"));
}

void TestProjectUpdate::failedUpdateThenSuccessfulOne()
{
    writeProject(m_path, revision("a"), "db");
    QVERIFY(project()->open(nullptr));
    project()->getChangedDelta().tables[L"stale"] = { { 1, 1 } };
    ScriptedCentralService::install(
        [](const FileProcessParams&, int, CentralServiceContext& context) {
            context.Fail(L"中心服务不可用");
        });
    QVERIFY(!project()->updateProject(nullptr));
    QCOMPARE(project()->GetErrorMsg(), QStringLiteral("中心服务不可用"));
    QVERIFY(project()->GetDatabaseManager()); // the local copy is open again
    QVERIFY(project()->getChangedDelta().tables.empty());

    const TableChangeMap changes { { L"segment", { { 2, RecordChanged } } },
        { L"material", { { 5, RecordAdded } } } };
    ScriptedCentralService::install(
        [&](const FileProcessParams&, int, CentralServiceContext& context) {
            context.Respond(changes);
        });
    QVERIFY(project()->updateProject(nullptr));
    QCOMPARE(project()->GetErrorMsg(), QString());
    QVERIFY(project()->getChangedDelta().tables == changes);
    QVERIFY(project()->needResetModel());
    QVERIFY(project()->GetDatabaseManager());
}

void TestProjectUpdate::reopeningFailuresThrow_data()
{
    QTest::addColumn<bool>("serviceFails");
    QTest::newRow("service fails, no local copy to reopen") << true;
    QTest::newRow("service succeeds but wrote no files") << false;
}

void TestProjectUpdate::reopeningFailuresThrow()
{
    QFETCH(bool, serviceFails);
    ScriptedCentralService::install(
        [serviceFails](const FileProcessParams&, int, CentralServiceContext& context) {
            if (serviceFails)
                context.Fail(L"项目不存在");
            else
                context.Respond({});
        });
    QString message;
    try {
        project()->updateProject(nullptr);
    } catch (const BIMException& e) {
        message = QString::fromUtf8(e.what());
    }
    QCOMPARE(message, QStringLiteral("打开项目失败！"));
    QCOMPARE(project()->GetErrorMsg(), serviceFails ? QStringLiteral("项目不存在") : QString());
    QVERIFY(!project()->GetDatabaseManager());
}

void TestProjectUpdate::localStore_data()
{
    QTest::addColumn<bool>("localCopy");
    QTest::newRow("first fetch through open") << false;
    QTest::newRow("update of an open project") << true;
}

void TestProjectUpdate::localStore()
{
    QFETCH(bool, localCopy);
    const QString store = m_dir->filePath("store");
    writeProject(store + "/P-880", revision("b"), "db2");
    qputenv("BIMCORE_CENTRAL_STORE", QFile::encodeName(store));
    if (localCopy)
        writeProject(m_path, revision("a"), "db");

    QVERIFY(project()->open(&recordProgress));
    QCOMPARE(g_progress.empty(), localCopy);
    if (localCopy)
        QVERIFY(project()->updateProject(&recordProgress));
    QVERIFY(project()->getChangedDelta().tables
        == (localCopy ? TableChangeMap { { L"segment", { { 2, RecordChanged } } } }
                      : TableChangeMap {}));
    QCOMPARE(readAll(m_path + "/" + kModelFile), readAll(store + "/P-880/" + kModelFile));
    QCOMPARE(project()->getTesselTable("segment")[1].asString("name"), QStringLiteral("b"));
    QVERIFY(!g_progress.empty());
    QCOMPARE(g_progress.back().second, 100.0);
}

QTEST_MAIN(TestProjectUpdate)
#include "tst_projectupdate.moc"
