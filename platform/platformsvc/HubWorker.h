#pragma once

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace PlatformSvcComm {

// The hub's worker thread: runs queued tasks one after another, in order.
// Destroying it stops the thread after the task in progress; tasks still
// queued are dropped.
class HubWorker : public QThread
{
public:
    HubWorker();
    ~HubWorker() override;

    void enqueue(std::function<void()> task);
    bool stopRequested() const { return m_stop.load(); }

protected:
    void run() override;

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    std::atomic<bool> m_stop { false };
};

} // namespace PlatformSvcComm
