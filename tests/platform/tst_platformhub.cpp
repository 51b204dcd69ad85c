// The platform hub: requests are handled on its worker thread, every request
// gets exactly one answer, and broadcast events and progress texts stay valid
// for receivers that get to them late.

#include "ScriptedCentralService.h"

#include <platformsvc/CentralSvcEventFactory.h>
#include <platformsvc/CommunicationNexus.h>
#include <platformsvc/PlatformEvent.h>

#include <QSemaphore>
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

std::unique_ptr<ICentralServiceFileProcessEvent> newRequest(long long projectId)
{
    std::unique_ptr<ICentralServiceFileProcessEvent> request(
        CentralSvcEventFactory::CreateCentralServiceFileProcessEvent());
    request->GetParams()->m_projectId = projectId;
    request->SetRequestFlag(1);
    return request;
}

} // namespace

class TestPlatformHub : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        drainHubWorker();
        QCoreApplication::processEvents();
        m_liveBefore = PlatformEvent::liveCount();
    }
    void broadcastsOutliveLateReceivers_data();
    void broadcastsOutliveLateReceivers();
    void serviceRunsOnTheWorkerOnACopy();
    void everyRequestIsAnswered_data();
    void everyRequestIsAnswered();

private:
    CCommunicationNexus* hub() { return GetPlatformCommunicationNexus(); }
    long m_liveBefore { 0 };
};

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
        context.Broadcast(PlatformEventRef());
    });
    drainHubWorker();
    QCOMPARE(PlatformEvent::liveCount(), m_liveBefore + 2); // held by the queued deliveries
    QVERIFY(seen.empty());

    gate.release();
    // Runs after every delivery queued before it.
    QMetaObject::invokeMethod(
        &receiver, [] {}, Qt::BlockingQueuedConnection);
    QCOMPARE(seen.size(), size_t(3));
    QCOMPARE(seen[0].projectId, 42LL);
    QVERIFY(seen[0].changes == changes);
    QCOMPARE(seen[1].text, std::wstring(500, L'x') + L" failed");
    QVERIFY(seen[2].null);
    QCOMPARE(PlatformEvent::liveCount(), m_liveBefore);
    QCOMPARE(progress.size(), size_t(3));
    for (int step = 0; step < 3; ++step)
        QVERIFY(progress[step] == std::make_pair(progressText(step), step * 50.0));
    thread.quit();
    thread.wait();
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
    std::vector<QThread*> emittingThreads;
    const QMetaObject::Connection probe = connect(
        hub(), &CCommunicationNexus::sigBroadCastMsg, hub(),
        [&](IBIMPlatformEvent*) { emittingThreads.push_back(QThread::currentThread()); },
        Qt::DirectConnection);
    {
        auto request = newRequest(5);
        request->GetParams()->m_projectKey = L"P-1";
        hub()->PostPlatformEvent(request.get()); // returns while the service is held
    } // deleted before the service gets to it: it reads its own copy
    serviceMayRun.release();
    drainHubWorker();
    disconnect(probe);

    QVERIFY(serviceThread && serviceThread != QThread::currentThread());
    QCOMPARE(emittingThreads, (std::vector<QThread*> { serviceThread, serviceThread }));
    const auto requests = service->requests();
    QCOMPARE(requests.size(), size_t(1));
    const auto& [params, flag] = requests[0];
    QCOMPARE(params.m_projectKey, std::wstring(L"P-1"));
    // The factory's operation reaches the service untouched.
    QCOMPARE(params.m_operation, std::wstring(kFetchProjectFilesOperation));
    QCOMPARE(flag, 1);
}

void TestPlatformHub::everyRequestIsAnswered_data()
{
    QTest::addColumn<int>("script");
    QTest::addColumn<int>("posted"); // 0 a request, 1 null, 2 an event that is no request
    QTest::addColumn<QString>("answerText"); // empty: a response

    QTest::newRow("service responds") << 0 << 0 << QString();
    QTest::newRow("service ends without an answer")
        << 1 << 0 << "The central service ended without an answer.";
    QTest::newRow("service throws") << 2 << 0 << "store on fire";
    QTest::newRow("service throws a non-exception")
        << 3 << 0 << "The central service failed with an unknown error.";
    QTest::newRow("service answers twice: the first counts") << 4 << 0 << "first";
    QTest::newRow("null request") << 0 << 1 << "No request was posted (null event).";
    QTest::newRow("an event that is no request")
        << 0 << 2 << "The platform hub does not handle events of type \"SomeEvent\".";
}

void TestPlatformHub::everyRequestIsAnswered()
{
    QFETCH(int, script);
    QFETCH(int, posted);
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
    const QMetaObject::Connection record = connect(hub(), &CCommunicationNexus::sigBroadCastMsg,
        this, [&seen](IBIMPlatformEvent* e) { seen.push_back(copyOf(e)); });

    const auto request = newRequest(77);
    const PlatformEventRef other = PlatformEvent::makeOther(L"SomeEvent", 77);
    hub()->PostPlatformEvent(posted == 0 ? request.get() : posted == 1 ? nullptr : other.get());
    drainHubWorker();
    QCoreApplication::processEvents();
    disconnect(record);

    // A request gets its start event first and exactly one answer.
    QCOMPARE(int(seen.size()), posted == 0 ? 2 : 1);
    if (posted == 0)
        QCOMPARE(seen.front().type, std::wstring(kFileProcStartEvent));
    const SeenEvent& answer = seen.back();
    QCOMPARE(answer.projectId, posted == 1 ? 0LL : 77LL);
    QCOMPARE(answer.type,
        std::wstring(answerText.isEmpty() ? kFileProcResponseEvent : kPlatformErrorEvent));
    QCOMPARE(QString::fromStdWString(answer.text), answerText);
    QCOMPARE(PlatformEvent::liveCount(), m_liveBefore + 1); // 'other' itself
}

QTEST_GUILESS_MAIN(TestPlatformHub)
#include "tst_platformhub.moc"
