#pragma once

#include <platformsvc/CentralService.h>
#include <platformsvc/IBIMPlatformEvent.h>
#include <platformsvc/platformsvc_export.h>

#include <QObject>

#include <functional>
#include <memory>
#include <mutex>

namespace PlatformSvcComm {

class HubWorker;

// The platform hub: takes requests, hands them to the central service on its
// own worker thread and broadcasts every event and progress message from that
// thread. Receivers on other threads get queued deliveries; each queued
// delivery of sigBroadCastMsg holds a reference on the event, and each queued
// sigProgressMsg carries its own copy of the text, so neither dangles however
// late the receiver runs (see BIMPlatformEventPtr). The signals take
// IBIMPlatformEvent* and const wchar_t*; connect to them with the
// function-pointer form of QObject::connect.
class PLATFORMSVC_EXPORT CCommunicationNexus : public QObject
{
    Q_OBJECT

public:
    CCommunicationNexus();
    ~CCommunicationNexus() override;

    // Returns at once. A central-service request is read (parameters and flag
    // copied) before this returns and never touched again; the response or
    // error event for it follows on the worker thread. Any other event,
    // including null, is answered with an error event.
    void PostPlatformEvent(IBIMPlatformEvent* pEvent);

    // Replaces the central service; null restores the local central store.
    // Requests already queued use the service in place when they run.
    void SetCentralService(std::shared_ptr<ICentralService> service);

    // Runs a task on the worker thread, after the requests queued before it.
    // Answers the task gives through the context carry project identifier 0.
    void RunOnWorker(std::function<void(CentralServiceContext&)> task);

Q_SIGNALS:
    void sigBroadCastMsg(BIMPlatformEventPtr pEvent);
    void sigProgressMsg(BIMProgressText text, double value);

private:
    std::shared_ptr<ICentralService> currentService();
    void runRequest(const FileProcessParams& params, int requestFlag);
    void runRejected(long long projectId, const std::wstring& text);

    std::mutex m_serviceMutex;
    std::shared_ptr<ICentralService> m_service; // null: the local central store
    std::unique_ptr<HubWorker> m_worker;
};

// The one hub of the process, created on the first call; never null.
PLATFORMSVC_EXPORT CCommunicationNexus* GetPlatformCommunicationNexus();

// Registers the argument meta-types of the hub's signals (see
// BIMPlatformEventPtr). Done when the library loads; safe to call again.
PLATFORMSVC_EXPORT void RegisterPlatformMetaTypes();

} // namespace PlatformSvcComm
