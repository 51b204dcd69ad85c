#include "CommunicationNexus.h"
#include "ThreadEnd.h"
#include "LocalCentralStore.h"
#include <QCoreApplication>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cwchar>
#include <deque>
#include <exception>
#include <new>
#include <thread>
#include <utility>

namespace PlatformSvcComm {
CentralServiceContext::~CentralServiceContext() = default;
ICentralService::~ICentralService() = default;

namespace {
// A queued delivery copies each signal argument through these and destroys
// its copy once the receiver has run.
void* copyEvent(void* where, const void* copy)
{
    IBIMPlatformEvent* event = copy ? *static_cast<IBIMPlatformEvent* const*>(copy) : nullptr;
    if (event)
        event->AddRef();
    return new (where) IBIMPlatformEvent*(event);
}

void dropEvent(void* where)
{
    if (IBIMPlatformEvent* event = *static_cast<IBIMPlatformEvent**>(where))
        event->Release();
}

void* copyText(void* where, const void* copy)
{
    const wchar_t* text = copy ? *static_cast<const wchar_t* const*>(copy) : nullptr;
    return new (where) const wchar_t*(text ? ::wcsdup(text) : nullptr);
}

void dropText(void* where)
{
    std::free(const_cast<wchar_t*>(*static_cast<const wchar_t**>(where)));
}

// By name, before anyone else registers these names with plain pointer
// copies: while the library loads.
const bool s_registered = [] {
    const auto flags
        = QMetaType::NeedsConstruction | QMetaType::NeedsDestruction | QMetaType::MovableType;
    for (const char* name : { "BIMPlatformEventPtr", "IBIMPlatformEvent*" })
        QMetaType::registerNormalizedType(
            name, dropEvent, copyEvent, sizeof(IBIMPlatformEvent*), flags, nullptr);
    for (const char* name : { "BIMProgressText", "const wchar_t*" })
        QMetaType::registerNormalizedType(
            name, dropText, copyText, sizeof(const wchar_t*), flags, nullptr);
    return true;
}();
} // namespace

// Runs queued tasks one after another, in order. Destroying it waits for the
// task in progress; tasks still queued are dropped.
class CCommunicationNexus::Worker
{
public:
    ~Worker() { stop(); }

    // Waits for the task in progress; later tasks never run.
    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            waitForEnd(m_thread);
    }

    void enqueue(std::function<void()> task)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_tasks.push_back(std::move(task));
        }
        m_wake.notify_one();
    }

    bool stopRequested() const { return m_stop; }

private:
    void run()
    {
        for (;;) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_tasks.empty(); });
            if (m_stop)
                return;
            const std::function<void()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            try {
                task();
            } catch (...) {
                // A receiver that throws out of a direct connection must not
                // end the thread that every later request needs.
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    std::atomic<bool> m_stop { false };
    std::thread m_thread { [this] { run(); } }; // last: starts once the rest exists
};

// What a request (or a task) may do on the worker thread. Only the first
// answer counts.
class CCommunicationNexus::Context final : public CentralServiceContext
{
public:
    Context(CCommunicationNexus& hub, long long projectId)
        : m_hub(hub)
        , m_projectId(projectId)
    {
    }

    void ReportProgress(const std::wstring& text, double value) override
    {
        emit m_hub.sigProgressMsg(text.c_str(), value);
    }
    // Every queued delivery has taken its own reference when emit returns.
    void Broadcast(const PlatformEventRef& event) override
    {
        emit m_hub.sigBroadCastMsg(event.get());
    }
    void Respond(TableChangeMap changes) override
    {
        Answer(PlatformEvent::makeResponse(m_projectId, std::move(changes)));
    }
    void Fail(const std::wstring& text) override
    {
        Answer(PlatformEvent::makeError(m_projectId, text));
    }
    void Answer(const PlatformEventRef& event) override
    {
        if (!std::exchange(m_answered, true))
            Broadcast(event);
    }
    bool StopRequested() const override { return m_hub.m_worker->stopRequested(); }

private:
    CCommunicationNexus& m_hub;
    const long long m_projectId;
    bool m_answered { false };
};

CCommunicationNexus::CCommunicationNexus()
    : m_worker(std::make_unique<Worker>())
{
    // The thread ends with the application object, while the process still
    // runs: in a static destructor, Windows would already have ended it. The
    // one hub is the one GetPlatformCommunicationNexus() gives.
    qAddPostRoutine([] { GetPlatformCommunicationNexus()->m_worker->stop(); });
}

CCommunicationNexus::~CCommunicationNexus() = default;

void CCommunicationNexus::SetCentralService(std::shared_ptr<ICentralService> service)
{
    std::atomic_store(&m_service, std::move(service));
}

void CCommunicationNexus::PostPlatformEvent(IBIMPlatformEvent* pEvent)
{
    // Copied now, so that the request is never touched once this returns. Any
    // other event reaches the service as a request that was not submitted.
    auto* request = dynamic_cast<ICentralServiceFileProcessEvent*>(pEvent);
    m_worker->enqueue(
        [this, params = request ? *request->GetParams() : FileProcessParams(),
            flag = request ? request->GetRequestFlag() : 0] { runRequest(params, flag); });
}

void CCommunicationNexus::runRequest(const FileProcessParams& params, int requestFlag)
{
    Context context(*this, params.m_projectId);
    try {
        context.Broadcast(PlatformEvent::makeStart(params.m_projectId));
        std::shared_ptr<ICentralService> service = std::atomic_load(&m_service);
        if (!service)
            service = std::make_shared<LocalCentralStore>();
        service->Process(params, requestFlag, context);
        context.Fail(L"The central service ended without an answer.");
    } catch (const std::exception& e) {
        context.Fail(QString::fromUtf8(e.what()).toStdWString());
    } catch (...) {
        context.Fail(L"The central service failed with an unknown error.");
    }
}

void CCommunicationNexus::RunOnWorker(std::function<void(CentralServiceContext&)> task)
{
    m_worker->enqueue([this, task = std::move(task)] {
        Context context(*this, 0);
        task(context);
    });
}

CCommunicationNexus* GetPlatformCommunicationNexus()
{
    static CCommunicationNexus hub;
    return &hub;
}
} // namespace PlatformSvcComm
