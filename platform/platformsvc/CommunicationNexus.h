#pragma once

#include <bimcore/platform/platformsvc/CentralSvcEventFactory.h>
#include <bimcore/platform/platformsvc/PlatformEvent.h>
#include <QObject>
#include <functional>

namespace PlatformSvcComm {
/// What a central service may do while it handles a request; always used on
/// the hub's worker thread.
class PLATFORMSVC_EXPORT CentralServiceContext
{
public:
    virtual ~CentralServiceContext();

    /// Emits sigProgressMsg with the text and value.
    virtual void ReportProgress(const std::wstring& text, double value) = 0;
    /// Emits sigBroadCastMsg with the event (a null event is broadcast as null).
    virtual void Broadcast(const PlatformEventRef& event) = 0;
    /// Answers the request: a response or an error event for its project. The
    /// first answer counts; later ones are dropped.
    virtual void Respond(TableChangeMap changes) = 0;
    virtual void Fail(const std::wstring& text) = 0;
    /// Answers with any event (another project's, another type, null).
    virtual void Answer(const PlatformEventRef& event) = 0;
    /// The hub is shutting down: long work should stop (by throwing).
    virtual bool StopRequested() const = 0;
};

/// A central service behind the hub. Process runs on the hub's worker thread,
/// one request at a time. If it returns without answering, or throws, the hub
/// answers with an error event, so a waiting caller is never left hanging.
class PLATFORMSVC_EXPORT ICentralService
{
public:
    virtual ~ICentralService();
    virtual void Process(
        const FileProcessParams& params, int requestFlag, CentralServiceContext& context)
        = 0;
};

/// The platform hub: takes requests, hands them to the central service on its
/// own worker thread and emits every broadcast and progress message from that
/// thread. Each queued delivery holds its own reference on the event and its
/// own copy of the progress text (see BIMPlatformEventPtr). Connect with the
/// function-pointer form of QObject::connect.
class PLATFORMSVC_EXPORT CCommunicationNexus : public QObject
{
    Q_OBJECT

public:
    CCommunicationNexus();
    ~CCommunicationNexus() override;

    /// Returns at once. A request's parameters and flag are copied before this
    /// returns and the request is never touched again; its start event and
    /// then exactly one answer (response or error) follow on the worker
    /// thread. Any other event, null included, goes to the service as a
    /// request that was not submitted (flag 0).
    void PostPlatformEvent(IBIMPlatformEvent* pEvent);

    /// Replaces the central service; null restores the local central store.
    /// Requests already queued use the service in place when they run.
    void SetCentralService(std::shared_ptr<ICentralService> service);

    /// Runs a task on the worker thread after the requests queued before it.
    /// Answers the task gives through the context carry project identifier 0.
    void RunOnWorker(std::function<void(CentralServiceContext&)> task);

Q_SIGNALS:
    void sigBroadCastMsg(BIMPlatformEventPtr pEvent);
    void sigProgressMsg(BIMProgressText text, double value);

private:
    class Worker;
    class Context;

    void runRequest(const FileProcessParams& params, int requestFlag);

    std::shared_ptr<ICentralService> m_service; ///< null: the local central store; atomic access
    std::unique_ptr<Worker> m_worker; ///< last: stops before the rest goes away
};

/// The one hub of the process, created on the first call; never null.
PLATFORMSVC_EXPORT CCommunicationNexus* GetPlatformCommunicationNexus();
} // namespace PlatformSvcComm
