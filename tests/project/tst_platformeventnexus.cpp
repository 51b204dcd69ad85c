// The event bridge through the real platform hub: which broadcasts end a wait,
// what reaches the project's delta and when progress reaches the callback.

#include "RegisteredProject.h"
#include "ScriptedCentralService.h"

#include <bimcore/core/Global.h>
#include <bimcore/project/PlatformEventNexus.h>
#include <bimcore/project/Project.h>

#include <bimcore/platform/platformsvc/CentralSvcEventFactory.h>
#include <bimcore/platform/platformsvc/CommunicationNexus.h>
#include <bimcore/platform/platformsvc/PlatformEvent.h>

#include <QtTest>

#include <functional>
#include <memory>

using namespace PlatformSvcComm;

using Script = std::function<void(PlatformSvcComm::CentralServiceContext&)>;
Q_DECLARE_METATYPE(PlatformSvcComm::TableChangeMap)
Q_DECLARE_METATYPE(Script)

namespace {

constexpr long long kProjectId = 4711;

std::vector<std::pair<std::wstring, double>> g_progress;

// Posts a fresh request through the bridge while the scripted service plays
// `script` on the hub's worker thread.
bool postAndWait(const Script& script, ProgressCallback callback = nullptr)
{
    CentralServiceRestorer restore;
    ScriptedCentralService::install([script](const FileProcessParams&, int,
                                        CentralServiceContext& context) { script(context); });
    std::unique_ptr<ICentralServiceFileProcessEvent> request(
        CentralSvcEventFactory::CreateCentralServiceFileProcessEvent());
    request->GetParams()->m_projectId = kProjectId;
    request->SetRequestFlag(1);
    const bool result = PlatformEventNexus::Instance()->PostEventAndWait(request.get(), callback);
    drainHubWorker();
    return result;
}

} // namespace

class TestPlatformEventNexus : public QObject
{
    Q_OBJECT

    TableDeltaInfo& delta() { return Project::instance()->getChangedDelta(); }

private Q_SLOTS:
    void initTestCase()
    {
        Singleton<Global>::instance()->m_projectId = kProjectId;
        new RegisteredProject();
        PlatformEventNexus::Instance();
    }

    void init()
    {
        QCoreApplication::processEvents();
        delta().tables.clear();
        g_progress.clear();
    }

    void cleanupTestCase()
    {
        Project::destory();
        Singleton<Global>::destory();
    }

    // Hosts connect by index: the order of the signals and the slot is fixed.
    void metaObjectOrder()
    {
        const QMetaObject& meta = PlatformEventNexus::staticMetaObject;
        QList<QByteArray> methods;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
            methods << meta.method(i).methodSignature();
        QCOMPARE(methods,
            QList<QByteArray>({ "SigUpdateFinish(bool)", "SigErrorMsg(QString)",
                "SlotPlatformEvent(IBIMPlatformEvent*)" }));
    }

    void waitEndsOnTheRightEvent_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("error");
        QTest::addColumn<TableChangeMap>("delta");

        static const TableChangeMap changes { { L"segment", { { 1, 2 }, { 2, 1 } } },
            { L"site", { { 9, 3 } } } };
        // Progress without a callback goes nowhere.
        QTest::newRow("response for the project") << Script([](CentralServiceContext& context) {
            context.ReportProgress(L"nobody hears this", 50);
            context.Respond(changes);
        }) << true << QString() << changes;
        QTest::newRow("response for another project is passed over") << Script(
            [](CentralServiceContext& context) {
                context.Broadcast(PlatformEvent::makeResponse(kProjectId + 1, changes));
                context.Respond({ { L"element_type", { { 5, 1 } } } });
            }) << true << QString() << TableChangeMap { { L"element_type", { { 5, 1 } } } };
        QTest::newRow("error for another project ends the wait") << Script(
            [](CentralServiceContext& context) {
                context.Answer(PlatformEvent::makeError(kProjectId + 1, L"另一个项目出错"));
            }) << false << "另一个项目出错" << TableChangeMap {};
        QTest::newRow("start, unknown, longer and null events are passed over") << Script(
            [](CentralServiceContext& context) {
                context.Broadcast(PlatformEvent::makeStart(kProjectId));
                for (const wchar_t* type : { L"CentralSvcFileProcResponseEventV2",
                         L"centralsvcfileprocresponseevent", L"SomethingElse" })
                    context.Broadcast(PlatformEvent::makeOther(type, kProjectId));
                context.Broadcast(PlatformEventRef());
                context.Respond(changes);
            }) << true << QString() << changes;
        QTest::newRow("error without text") << Script([](CentralServiceContext& context) {
            context.Answer(PlatformEvent::makeOther(kPlatformErrorEvent, kProjectId));
        }) << false << QString() << TableChangeMap {};
        // Arrives after the wait has ended: still recorded, without replacing
        // the table already there.
        QTest::newRow("later response")
            << Script([](CentralServiceContext& context) {
                   context.Respond({ { L"segment", { { 1, 1 } } } });
                   context.Broadcast(PlatformEvent::makeResponse(
                       kProjectId, { { L"segment", { { 7, 7 } } }, { L"site", { { 2, 2 } } } }));
               })
            << true << QString()
            << TableChangeMap { { L"segment", { { 1, 1 } } }, { L"site", { { 2, 2 } } } };
    }

    void waitEndsOnTheRightEvent()
    {
        QFETCH(Script, script);
        QFETCH(bool, success);
        QFETCH(QString, error);
        QFETCH(TableChangeMap, delta);

        QCOMPARE(postAndWait(script), success);
        QCoreApplication::processEvents(); // what the hub's worker sent after the wait
        QCOMPARE(PlatformEventNexus::Instance()->LastErrorMsg(), error);
        QVERIFY(this->delta().tables == delta);
        QVERIFY(g_progress.empty());
    }

    void progressReachesTheCallbackOnlyDuringTheWait()
    {
        auto progress
            = [](CentralServiceContext& context) { context.ReportProgress(L"正在下载", 12.5); };
        QVERIFY(postAndWait(
            [&](CentralServiceContext& context) {
                progress(context);
                context.Respond({});
            },
            [](const wchar_t* text, double value) { g_progress.emplace_back(text, value); }));
        QCOMPARE(g_progress.size(), size_t(1));
        QVERIFY(g_progress[0] == std::make_pair(std::wstring(L"正在下载"), 12.5));

        // After the wait: queued to no one.
        GetPlatformCommunicationNexus()->RunOnWorker(progress);
        drainHubWorker();
        QCoreApplication::processEvents();
        QCOMPARE(g_progress.size(), size_t(1));
    }
};

QTEST_MAIN(TestPlatformEventNexus)
#include "tst_platformeventnexus.moc"
