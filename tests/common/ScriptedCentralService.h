#pragma once

// A central service for tests: runs a script on the hub's worker thread and
// keeps a copy of every request it received.

#include <bimcore/platform/platformsvc/CommunicationNexus.h>

#include <QSemaphore>

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

class ScriptedCentralService : public PlatformSvcComm::ICentralService
{
public:
    using Script = std::function<void(
        const FileProcessParams&, int requestFlag, PlatformSvcComm::CentralServiceContext&)>;

    explicit ScriptedCentralService(Script script)
        : m_script(std::move(script))
    {
    }

    void Process(const FileProcessParams& params, int requestFlag,
        PlatformSvcComm::CentralServiceContext& context) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.emplace_back(params, requestFlag);
        }
        m_script(params, requestFlag, context);
    }

    std::vector<std::pair<FileProcessParams, int>> requests() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

    // Installs a scripted service on the process's hub for one test; the
    // local central store is back when the guard goes.
    static std::shared_ptr<ScriptedCentralService> install(Script script)
    {
        auto service = std::make_shared<ScriptedCentralService>(std::move(script));
        PlatformSvcComm::GetPlatformCommunicationNexus()->SetCentralService(service);
        return service;
    }

private:
    Script m_script;
    mutable std::mutex m_mutex;
    std::vector<std::pair<FileProcessParams, int>> m_requests;
};

// Returns once every task queued on the hub's worker thread before this call
// has run (and so every signal of those tasks has been emitted).
inline void drainHubWorker()
{
    QSemaphore done;
    PlatformSvcComm::GetPlatformCommunicationNexus()->RunOnWorker(
        [&done](PlatformSvcComm::CentralServiceContext&) { done.release(); });
    done.acquire();
}
