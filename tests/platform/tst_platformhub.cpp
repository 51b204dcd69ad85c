// The platform hub: requests are handled on its worker thread, every request
// gets exactly one answer, and broadcast events and progress texts stay valid
// for receivers that get to them late.

#include "ScriptedCentralService.h"

#include <bimcore/platform/platformsvc/CommunicationNexus.h>

#include <QSemaphore>
#include <QThread>
#include <QtTest>

#include <stdexcept>

using namespace PlatformSvcComm;

namespace {

// What a receiver saw of one broadcast, copied while the slot ran.
struct Seen
{
    std::wstring type; // empty: a null event
    long long projectId { 0 };
    TableChangeMap changes;
    std::wstring text;
    QThread* thread { nullptr };
};

Seen copyOf(IBIMPlatformEvent* event)
{
    Seen seen { {}, 0, {}, {}, QThread::currentThread() };
    if (!event)
        return seen;
    seen.type = event->GetEventType();
    seen.projectId = event->GetProjectId();
    if (seen.type == kFileProcResponseEvent)
        seen.changes = *static_cast<TableChangeMap*>(event->GetEventData());
    else if (seen.type == kPlatformErrorEvent)
        seen.text = static_cast<const wchar_t*>(event->GetEventData());
    return seen;
}

CCommunicationNexus* hub()
{
    return GetPlatformCommunicationNexus();
}

} // namespace

class TestPlatformHub : public QObject
{
    Q_OBJECT

    long m_liveBefore { 0 };

private Q_SLOTS:
    void init()
    {
        drainHubWorker();
        QCoreApplication::processEvents();
        m_liveBefore = PlatformEvent::liveCount();
    }

    void broadcastsOutliveLateReceivers_data()
    {
        QTest::addColumn<Qt::ConnectionType>("connection");
        QTest::newRow("automatic connection") << Qt::AutoConnection;
        QTest::newRow("queued connection") << Qt::QueuedConnection;
    }

    void broadcastsOutliveLateReceivers()
    {
        QFETCH(Qt::ConnectionType, connection);
        // This thread gets to the deliveries only once everything has been
        // emitted and the hub has let go of its references.
        std::vector<Seen> seen;
        std::vector<std::pair<std::wstring, double>> progress;
        const auto events = connect(
            hub(), &CCommunicationNexus::sigBroadCastMsg, this,
            [&seen](IBIMPlatformEvent* event) { seen.push_back(copyOf(event)); }, connection);
        const auto texts = connect(
            hub(), &CCommunicationNexus::sigProgressMsg, this,
            [&progress](const wchar_t* text, double value) { progress.emplace_back(text, value); },
            connection);
        const auto text
            = [](int step) { return L"步骤 " + std::to_wstring(step) + std::wstring(99, L'.'); };
        const TableChangeMap changes { { L"segment",
            { { 7, RecordChanged }, { 8, RecordAdded } } } };
        hub()->RunOnWorker([&](CentralServiceContext& context) {
            for (int step = 0; step < 3; ++step)
                context.ReportProgress(text(step), step * 50.0); // the text is gone after the emit
            context.Broadcast(PlatformEvent::makeResponse(42, changes));
            context.Broadcast(PlatformEvent::makeError(43, std::wstring(500, L'x')));
            context.Broadcast(PlatformEventRef());
        });
        drainHubWorker();
        QCOMPARE(PlatformEvent::liveCount(), m_liveBefore + 2); // held by the queued deliveries
        QVERIFY(seen.empty() && progress.empty());

        QCoreApplication::processEvents();
        disconnect(events);
        disconnect(texts);
        QCOMPARE(seen.size(), size_t(3));
        QCOMPARE(seen[0].projectId, 42LL);
        QVERIFY(seen[0].changes == changes);
        QCOMPARE(seen[1].text, std::wstring(500, L'x'));
        QVERIFY(seen[2].type.empty());
        QCOMPARE(PlatformEvent::liveCount(), m_liveBefore);
        QCOMPARE(progress.size(), size_t(3));
        for (int step = 0; step < 3; ++step)
            QVERIFY(progress[step] == std::make_pair(text(step), step * 50.0));
    }

    // The library waits until its request is answered: a service that fails in
    // any way must still give exactly one answer.
    void everyRequestIsAnswered_data()
    {
        QTest::addColumn<int>("script");
        QTest::addColumn<QString>("answerText"); // empty: a response
        QTest::newRow("service responds") << 0 << QString();
        QTest::newRow("service ends without an answer")
            << 1 << "The central service ended without an answer.";
        QTest::newRow("service throws") << 2 << "store on fire";
        QTest::newRow("service throws a non-exception")
            << 3 << "The central service failed with an unknown error.";
        QTest::newRow("service answers twice: the first counts") << 4 << "first";
    }

    void everyRequestIsAnswered()
    {
        QFETCH(int, script);
        QFETCH(QString, answerText);
        CentralServiceRestorer restore;
        QSemaphore serviceMayRun;
        auto service = ScriptedCentralService::install(
            [&](const FileProcessParams&, int, CentralServiceContext& context) {
                serviceMayRun.acquire();
                if (script == 0)
                    context.Respond({});
                if (script == 2)
                    throw std::runtime_error("store on fire");
                if (script == 3)
                    throw 7;
                if (script == 4) {
                    context.Fail(L"first");
                    context.Respond({});
                }
            });
        std::vector<Seen> seen;
        const auto record = connect(
            hub(), &CCommunicationNexus::sigBroadCastMsg, hub(),
            [&seen](IBIMPlatformEvent* e) { seen.push_back(copyOf(e)); }, Qt::DirectConnection);
        {
            std::unique_ptr<ICentralServiceFileProcessEvent> request(
                CentralSvcEventFactory::CreateCentralServiceFileProcessEvent());
            request->GetParams()->m_projectId = 77;
            request->GetParams()->m_projectKey = L"P-1";
            request->SetRequestFlag(1);
            hub()->PostPlatformEvent(request.get());
        } // deleted before the service gets to it: it reads its own copy
        serviceMayRun.release();
        drainHubWorker();
        disconnect(record);

        // The start event first and exactly one answer, all from the worker thread.
        QCOMPARE(seen.size(), size_t(2));
        QCOMPARE(seen.front().type, std::wstring(kFileProcStartEvent));
        QCOMPARE(seen.back().projectId, 77LL);
        QCOMPARE(seen.back().type,
            std::wstring(answerText.isEmpty() ? kFileProcResponseEvent : kPlatformErrorEvent));
        QCOMPARE(QString::fromStdWString(seen.back().text), answerText);
        QVERIFY(seen.front().thread != QThread::currentThread()
            && seen.back().thread == seen.front().thread);
        QCOMPARE(PlatformEvent::liveCount(), m_liveBefore);
        QCOMPARE(service->requests().size(), size_t(1));
    }
};

QTEST_GUILESS_MAIN(TestPlatformHub)
#include "tst_platformhub.moc"
