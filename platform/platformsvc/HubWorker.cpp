#include "HubWorker.h"

namespace PlatformSvcComm {

HubWorker::HubWorker()
{
    setObjectName(QStringLiteral("PlatformHubWorker"));
    start();
}

HubWorker::~HubWorker()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    wait();
}

void HubWorker::enqueue(std::function<void()> task)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void HubWorker::run()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop.load() || !m_tasks.empty(); });
            if (m_stop)
                return;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        try {
            task();
        } catch (...) {
            // A receiver that throws out of a direct connection must not end
            // the thread that every later request needs.
        }
    }
}

} // namespace PlatformSvcComm
