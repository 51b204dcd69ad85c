// The platform hub as the library relies on it: every request gets its start
// event and exactly one answer from the hub's worker thread, and broadcast
// events and progress texts stay valid for receivers that get to them late.

#include "ScriptedCentralService.h"

#include <bimcore/platform/platformsvc/CommunicationNexus.h>

#include <QtTest>

#include <stdexcept>

using namespace PlatformSvcComm;

namespace {

// What a receiver saw of one broadcast, copied while the slot ran: type,
// project and the error text or the response's first table name.
QString copyOf(IBIMPlatformEvent* event)
{
    if (!event)
        return "null";
    const std::wstring type = event->GetEventType();
    const auto* changes = static_cast<TableChangeMap*>(event->GetEventData());
    QString data;
    if (type == kFileProcResponseEvent && !changes->empty())
        data = QString::fromStdWString(changes->begin()->first);
    else if (type == kPlatformErrorEvent)
        data = QString::fromWCharArray(static_cast<const wchar_t*>(event->GetEventData()));
    return QString::fromStdWString(type) + ' ' + QString::number(event->GetProjectId()) + ' '
        + data;
}

} // namespace

class TestPlatformHub : public QObject
{
    Q_OBJECT

    CCommunicationNexus* const m_hub = GetPlatformCommunicationNexus();

private Q_SLOTS:
    void broadcastsOutliveLateReceivers()
    {
        // This thread gets to the queued deliveries only once everything has
        // been emitted and the hub has let go of its references.
        QStringList seen;
        const auto events = connect(m_hub, &CCommunicationNexus::sigBroadCastMsg, this,
            [&seen](IBIMPlatformEvent* event) { seen.push_back(copyOf(event)); });
        const auto texts = connect(m_hub, &CCommunicationNexus::sigProgressMsg, this,
            [&seen](const wchar_t* text, double value) {
                seen << QString::fromWCharArray(text) + QString::number(value);
            });
        const std::wstring text = L"步骤 " + std::wstring(99, L'.');
        m_hub->RunOnWorker([&](CentralServiceContext& context) {
            context.ReportProgress(std::wstring(text), 50.0); // the text is gone after the emit
            context.Broadcast(PlatformEvent::makeResponse(42, { { L"segment", { { 7, 2 } } } }));
            context.Broadcast(PlatformEvent::makeError(43, std::wstring(500, L'x')));
            context.Broadcast(PlatformEventRef());
        });
        drainHubWorker();
        QVERIFY(seen.empty());
        QCoreApplication::processEvents();
        disconnect(events);
        disconnect(texts);
        QCOMPARE(seen,
            QStringList({ QString::fromStdWString(text) + "50",
                "CentralSvcFileProcResponseEvent 42 segment",
                "BIMPlatformErrorEvent 43 " + QString(500, 'x'), "null" }));
    }

    // The library waits until its request is answered: a service that fails
    // in any way must still give exactly one answer.
    void everyRequestIsAnswered_data()
    {
        QTest::addColumn<int>("script");
        QTest::addColumn<QString>("answer");
        QTest::newRow("service responds") << 0 << "CentralSvcFileProcResponseEvent 77 ";
        QTest::newRow("service ends without an answer")
            << 1 << "BIMPlatformErrorEvent 77 The central service ended without an answer.";
        QTest::newRow("service throws") << 2 << "BIMPlatformErrorEvent 77 store on fire";
    }

    void everyRequestIsAnswered()
    {
        QFETCH(int, script);
        QFETCH(QString, answer);
        CentralServiceRestorer restore;
        QSemaphore serviceMayRun;
        ScriptedCentralService::install(
            [&](const FileProcessParams&, int, CentralServiceContext& context) {
                serviceMayRun.acquire();
                if (script == 0)
                    context.Respond({});
                if (script == 2)
                    throw std::runtime_error("store on fire");
            });
        QStringList seen;
        QSet<QThread*> threads;
        const auto record = connect(
            m_hub, &CCommunicationNexus::sigBroadCastMsg, m_hub,
            [&](IBIMPlatformEvent* e) { seen << copyOf(e), threads << QThread::currentThread(); },
            Qt::DirectConnection);
        {
            std::unique_ptr<ICentralServiceFileProcessEvent> request(
                CentralSvcEventFactory::CreateCentralServiceFileProcessEvent());
            request->GetParams()->m_projectId = 77;
            request->SetRequestFlag(1);
            m_hub->PostPlatformEvent(request.get());
        } // deleted before the service gets to it: it reads its own copy
        serviceMayRun.release();
        drainHubWorker();
        disconnect(record);

        QCOMPARE(seen, QStringList({ "CentralSvcFileProcStartEvent 77 ", answer }));
        QVERIFY(threads.size() == 1 && !threads.contains(QThread::currentThread()));
    }
};

QTEST_GUILESS_MAIN(TestPlatformHub)
#include "tst_platformhub.moc"
