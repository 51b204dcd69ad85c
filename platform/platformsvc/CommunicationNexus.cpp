#include "CommunicationNexus.h"

#include "HubWorker.h"
#include "ICentralServiceFileProcessEvent.h"
#include "LocalCentralStore.h"

#include <QString>

#include <exception>
#include <utility>

namespace PlatformSvcComm {

CentralServiceContext::~CentralServiceContext() = default;
ICentralService::~ICentralService() = default;

namespace {

std::wstring fromUtf8(const char* text)
{
    return QString::fromUtf8(text).toStdWString();
}

// The context of one request (or one test task) on the worker thread.
class HubContext final : public CentralServiceContext
{
public:
    HubContext(CCommunicationNexus& hub, const HubWorker& worker, long long projectId)
        : m_hub(hub)
        , m_worker(worker)
        , m_projectId(projectId)
    {
    }

    void ReportProgress(const std::wstring& text, double value) override
    {
        emit m_hub.sigProgressMsg(text.c_str(), value);
    }

    void Broadcast(const PlatformEventRef& event) override
    {
        // The hub's reference (held by the caller) outlives the emit; every
        // queued delivery has taken its own by the time emit returns.
        emit m_hub.sigBroadCastMsg(event.get());
    }

    void Respond(TableChangeMap changes) override
    {
        if (!std::exchange(m_answered, true))
            Broadcast(PlatformEvent::makeResponse(m_projectId, std::move(changes)));
    }

    void Fail(const std::wstring& text) override
    {
        if (!std::exchange(m_answered, true))
            Broadcast(PlatformEvent::makeError(m_projectId, text));
    }

    void Answer(const PlatformEventRef& event) override
    {
        if (!std::exchange(m_answered, true))
            Broadcast(event);
    }

    bool StopRequested() const override { return m_worker.stopRequested(); }

    bool answered() const { return m_answered; }

private:
    CCommunicationNexus& m_hub;
    const HubWorker& m_worker;
    const long long m_projectId;
    bool m_answered { false };
};

} // namespace

CCommunicationNexus::CCommunicationNexus()
    : m_worker(std::make_unique<HubWorker>())
{
    RegisterPlatformMetaTypes();
}

CCommunicationNexus::~CCommunicationNexus()
{
    // Stop the thread before anything it uses goes away.
    m_worker.reset();
}

std::shared_ptr<ICentralService> CCommunicationNexus::currentService()
{
    std::lock_guard<std::mutex> lock(m_serviceMutex);
    if (!m_service)
        return std::make_shared<LocalCentralStore>();
    return m_service;
}

void CCommunicationNexus::SetCentralService(std::shared_ptr<ICentralService> service)
{
    std::lock_guard<std::mutex> lock(m_serviceMutex);
    m_service = std::move(service);
}

void CCommunicationNexus::PostPlatformEvent(IBIMPlatformEvent* pEvent)
{
    if (!pEvent) {
        m_worker->enqueue([this] { runRejected(0, L"No request was posted (null event)."); });
        return;
    }
    auto* request = dynamic_cast<ICentralServiceFileProcessEvent*>(pEvent);
    if (!request) {
        const std::wstring text = L"The platform hub does not handle events of type \""
            + std::wstring(pEvent->GetEventType()) + L"\".";
        const long long projectId = pEvent->GetProjectId();
        m_worker->enqueue([this, projectId, text] { runRejected(projectId, text); });
        return;
    }
    // Copied now, so that the request is never touched once this returns.
    FileProcessParams params = *request->GetParams();
    const int flag = request->GetRequestFlag();
    m_worker->enqueue([this, params = std::move(params), flag] { runRequest(params, flag); });
}

void CCommunicationNexus::runRequest(const FileProcessParams& params, int requestFlag)
{
    HubContext context(*this, *m_worker, params.m_projectId);
    try {
        context.Broadcast(PlatformEvent::makeStart(params.m_projectId));
        currentService()->Process(params, requestFlag, context);
        if (!context.answered())
            context.Fail(L"The central service ended without an answer.");
    } catch (const std::exception& e) {
        context.Fail(fromUtf8(e.what()));
    } catch (...) {
        context.Fail(L"The central service failed with an unknown error.");
    }
}

void CCommunicationNexus::runRejected(long long projectId, const std::wstring& text)
{
    HubContext context(*this, *m_worker, projectId);
    try {
        context.Fail(text);
    } catch (...) {
        // Only allocation can fail here; nothing left to report it with.
    }
}

void CCommunicationNexus::RunOnWorker(std::function<void(CentralServiceContext&)> task)
{
    m_worker->enqueue([this, task = std::move(task)] {
        HubContext context(*this, *m_worker, 0);
        try {
            task(context);
        } catch (...) {
            // A test task's failure is its own business.
        }
    });
}

CCommunicationNexus* GetPlatformCommunicationNexus()
{
    static CCommunicationNexus hub;
    return &hub;
}

} // namespace PlatformSvcComm
