// The platform hub: requests are handled on its worker thread, every answer is
// broadcast from there, and broadcast events and progress texts stay valid for
// receivers that get to them late.

#include "ScriptedCentralService.h"

#include <platformsvc/CentralSvcEventFactory.h>
#include <platformsvc/CommunicationNexus.h>
#include <platformsvc/PlatformEvent.h>

#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <memory>
#include <stdexcept>

using namespace PlatformSvcComm;

namespace {

// What a receiver saw of one broadcast, copied while the slot ran.
struct SeenEvent
{
    bool null { true };
    std::wstring type;
    long long projectId { 0 };
    TableChangeMap changes;
    std::wstring text;
};

SeenEvent copyOf(IBIMPlatformEvent* event)
{
    SeenEvent seen;
    if (!event)
        return seen;
    seen.null = false;
    seen.type = event->GetEventType();
    seen.projectId = event->GetProjectId();
    if (seen.type == kFileProcResponseEvent)
        seen.changes = *static_cast<TableChangeMap*>(event->GetEventData());
    else if (seen.type == kPlatformErrorEvent)
        seen.text = static_cast<const wchar_t*>(event->GetEventData());
    return seen;
}

} // namespace

class TestPlatformHub : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void broadcastsOutliveLateReceivers_data();
    void broadcastsOutliveLateReceivers();
    void broadcastsWithoutListenersAreFreed();
    void serviceRunsOnTheWorkerOnACopy();
    void everyRequestIsAnswered_data();
    void everyRequestIsAnswered();
    void factoryMakesFreshRequests();

private:
    CCommunicationNexus* hub() { return GetPlatformCommunicationNexus(); }
    long m_liveBefore { 0 };
};

void TestPlatformHub::init()
{
    drainHubWorker();
    QCoreApplication::processEvents();
    m_liveBefore = PlatformEvent::liveCount();
}

void TestPlatformHub::broadcastsOutliveLateReceivers_data()
{
    QTest::addColumn<Qt::ConnectionType>("connection");
    QTest::newRow("automatic connection") << Qt::AutoConnection;
    QTest::newRow("queued connection") << Qt::QueuedConnection;
}

void TestPlatformHub::broadcastsOutliveLateReceivers()
{
    QFETCH(Qt::ConnectionType, connection);
    // A receiver on a thread of its own that the test holds up until
    // everything has been emitted and the hub has let go of its references.
    QThread thread;
    QObject receiver;
    receiver.moveToThread(&thread);
    std::vector<SeenEvent> seen;
    std::vector<std::pair<std::wstring, double>> progress;
    connect(
        hub(), &CCommunicationNexus::sigBroadCastMsg, &receiver,
        [&seen](IBIMPlatformEvent* event) { seen.push_back(copyOf(event)); }, connection);
    connect(
        hub(), &CCommunicationNexus::sigProgressMsg, &receiver,
        [&progress](const wchar_t* text, double value) { progress.emplace_back(text, value); },
        connection);
    thread.start();
    QSemaphore gate;
    QMetaObject::invokeMethod(&receiver, [&gate] { gate.acquire(); });

    const auto progressText
        = [](int step) { return L"步骤 " + std::to_wstring(step) + std::wstring(100, L'.'); };
    const TableChangeMap changes { { L"segment", { { 7, RecordChanged }, { 8, RecordAdded } } },
        { L"site", {} } };
    hub()->RunOnWorker([&](CentralServiceContext& context) {
        for (int step = 0; step < 3; ++step)
            context.ReportProgress(progressText(step), step * 50.0); // text gone after the emit
        context.Broadcast(PlatformEvent::makeResponse(42, changes));
        context.Broadcast(PlatformEvent::makeError(43, std::wstring(500, L'x') + L" failed"));
        context.Broadcast(PlatformEvent::makeOther(L"CentralSvcFileProcResponseEventLonger", 42));
        context.Broadcast(PlatformEventRef());
    });
    drainHubWorker();
    QCOMPARE(PlatformEvent::liveCount(), m_liveBefore + 3); // held by the queued deliveries
    QVERIFY(seen.empty());

    gate.release();
    // Runs after every delivery queued before it.
    QMetaObject::invokeMethod(
        &receiver, [] {}, Qt::BlockingQueuedConnection);
    QCOMPARE(seen.size(), size_t(4));
    QCOMPARE(seen[0].type, std::wstring(kFileProcResponseEvent));
    QCOMPARE(seen[0].projectId, 42LL);
    QVERIFY(seen[0].changes == changes);
    QCOMPARE(seen[1].text, std::wstring(500, L'x') + L" failed");
    QCOMPARE(seen[2].type, std::wstring(L"CentralSvcFileProcResponseEventLonger"));
    QVERIFY(seen[3].null);
    QTRY_COMPARE(PlatformEvent::liveCount(), m_liveBefore);
    QCOMPARE(progress.size(), size_t(3));
    for (int step = 0; step < 3; ++step)
        QVERIFY(progress[step] == std::make_pair(progressText(step), step * 50.0));
    thread.quit();
    thread.wait();
}

void TestPlatformHub::broadcastsWithoutListenersAreFreed()
{
    hub()->RunOnWorker([](CentralServiceContext& context) {
        for (int i = 0; i < 100; ++i)
            context.Broadcast(PlatformEvent::makeResponse(i, { { L"t", { { 1, RecordAdded } } } }));
        context.Fail(L"nobody listens");
    });
    drainHubWorker();
    QCOMPARE(PlatformEvent::liveCount(), m_liveBefore);
}

void TestPlatformHub::serviceRunsOnTheWorkerOnACopy()
{
    CentralServiceRestorer restore;
    QSemaphore serviceMayRun;
    QThread* serviceThread = nullptr;
    auto service = ScriptedCentralService::install(
        [&](const FileProcessParams&, int, CentralServiceContext& context) {
            serviceThread = QThread::currentThread();
            serviceMayRun.acquire();
            context.Respond({});
        });
    QThread* emittingThread = nullptr;
    QMetaObject::Connection probe = connect(
        hub(), &CCommunicationNexus::sigBroadCastMsg, hub(),
        [&emittingThread](IBIMPlatformEvent*) { emittingThread = QThread::currentThread(); },
        Qt::DirectConnection);
    QSignalSpy broadcasts(hub(), &CCommunicationNexus::sigBroadCastMsg);
    {
        std::unique_ptr<ICentralServiceFileProcessEvent> request(
            CentralSvcEventFactory::CreateCentralServiceFileProcessEvent());
        request->GetParams()->m_projectKey = L"P-1";
        request->SetRequestFlag(1);
        hub()->PostPlatformEvent(request.get()); // returns while the service is held
    } // deleted before the service gets to it: it reads its own copy
    serviceMayRun.release();
    drainHubWorker();
    disconnect(probe);

    QTRY_COMPARE(broadcasts.size(), 2);
    QVERIFY(serviceThread && serviceThread != QThread::currentThread());
    QCOMPARE(emittingThread, serviceThread);
    QCOMPARE(service->requests().size(), size_t(1));
    QCOMPARE(service->requests()[0].first.m_projectKey, std::wstring(L"P-1"));
    QCOMPARE(service->requests()[0].second, 1);
}

void TestPlatformHub::everyRequestIsAnswered_data()
{
    QTest::addColumn<int>("script");
    QTest::addColumn<int>("posted"); // 0 a request, 1 null, 2 an event that is no request
    QTest::addColumn<QString>("answerType");
    QTest::addColumn<QString>("answerText");

    const QString error = QString::fromWCharArray(kPlatformErrorEvent);
    const QString response = QString::fromWCharArray(kFileProcResponseEvent);
    QTest::newRow("service responds") << 0 << 0 << response << QString();
    QTest::newRow("service ends without an answer")
        << 1 << 0 << error << "The central service ended without an answer.";
    QTest::newRow("service throws") << 2 << 0 << error << "store on fire";
    QTest::newRow("service throws a non-exception")
        << 3 << 0 << error << "The central service failed with an unknown error.";
    QTest::newRow("service answers twice: the first counts") << 4 << 0 << error << "first";
    QTest::newRow("null request") << 0 << 1 << error << "No request was posted (null event).";
    QTest::newRow("an event that is no request")
        << 0 << 2 << error << "The platform hub does not handle events of type \"SomeEvent\".";
}

void TestPlatformHub::everyRequestIsAnswered()
{
    QFETCH(int, script);
    QFETCH(int, posted);
    QFETCH(QString, answerType);
    QFETCH(QString, answerText);

    CentralServiceRestorer restore;
    ScriptedCentralService::install(
        [script](const FileProcessParams&, int, CentralServiceContext& context) {
            switch (script) {
            case 0:
                context.Respond({ { L"site", { { 1, RecordRemoved } } } });
                break;
            case 2:
                throw std::runtime_error("store on fire");
            case 3:
                throw 7;
            case 4:
                context.Fail(L"first");
                context.Respond({});
                context.Fail(L"second");
                break;
            }
        });
    std::vector<SeenEvent> seen;
    QMetaObject::Connection record = connect(hub(), &CCommunicationNexus::sigBroadCastMsg, this,
        [&seen](IBIMPlatformEvent* e) { seen.push_back(copyOf(e)); });

    std::unique_ptr<ICentralServiceFileProcessEvent> request(
        CentralSvcEventFactory::CreateCentralServiceFileProcessEvent());
    request->GetParams()->m_projectId = 77;
    request->SetRequestFlag(1);
    const PlatformEventRef other = PlatformEvent::makeOther(L"SomeEvent", 77);
    hub()->PostPlatformEvent(posted == 0 ? request.get() : posted == 1 ? nullptr : other.get());
    drainHubWorker();
    QTRY_VERIFY(!seen.empty() && QString::fromStdWString(seen.back().type) == answerType);
    disconnect(record);

    const SeenEvent& answer = seen.back();
    QCOMPARE(answer.projectId, posted == 1 ? 0LL : 77LL);
    QCOMPARE(QString::fromStdWString(answer.text), answerText);
    // A request gets its start event first and exactly one answer.
    QCOMPARE(int(seen.size()), posted == 0 ? 2 : 1);
    if (posted == 0)
        QCOMPARE(seen.front().type, std::wstring(kFileProcStartEvent));
    QTRY_COMPARE(PlatformEvent::liveCount(), m_liveBefore + 1); // 'other' itself
}

void TestPlatformHub::factoryMakesFreshRequests()
{
    std::unique_ptr<IBIMPlatformEvent> first(
        CentralSvcEventFactory::CreateCentralServiceFileProcessEvent());
    std::unique_ptr<ICentralServiceFileProcessEvent> second(
        CentralSvcEventFactory::CreateCentralServiceFileProcessEvent());
    QVERIFY(first.get() != second.get());
    QCOMPARE(second->GetRequestFlag(), 0);
    QCOMPARE(second->GetParams()->m_operation, std::wstring(kFetchProjectFilesOperation));
    QCOMPARE(second->GetParams()->m_projectId, 0LL);
    QCOMPARE(std::wstring(second->GetEventType()), std::wstring(kFileProcRequestEvent));
    QCOMPARE(second->GetEventData(), static_cast<void*>(second->GetParams()));
}

QTEST_GUILESS_MAIN(TestPlatformHub)
#include "tst_platformhub.moc"
