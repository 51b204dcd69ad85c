#pragma once

#include <platformsvc/FileProcessParams.h>
#include <platformsvc/PlatformEvent.h>
#include <platformsvc/TableChangeMap.h>

#include <string>

namespace PlatformSvcComm {

// What a central service may do while it handles a request; always used on
// the hub's worker thread.
class PLATFORMSVC_EXPORT CentralServiceContext
{
public:
    virtual ~CentralServiceContext();

    // Emits sigProgressMsg with the text and value.
    virtual void ReportProgress(const std::wstring& text, double value) = 0;
    // Emits sigBroadCastMsg with the event (a null event is broadcast as null).
    virtual void Broadcast(const PlatformEventRef& event) = 0;
    // Answers the request: a response or an error event for its project. The
    // first answer counts; later ones are dropped.
    virtual void Respond(TableChangeMap changes) = 0;
    virtual void Fail(const std::wstring& text) = 0;
    // Answers with any event (another project's, another type, null).
    virtual void Answer(const PlatformEventRef& event) = 0;
    // The hub is shutting down: long work should stop (by throwing).
    virtual bool StopRequested() const = 0;
};

// A central service behind the hub. Process runs on the hub's worker thread,
// one request at a time. If it returns without answering, or throws, the hub
// answers with an error event, so a waiting caller is never left hanging.
class PLATFORMSVC_EXPORT ICentralService
{
public:
    virtual ~ICentralService();
    virtual void Process(
        const FileProcessParams& params, int requestFlag, CentralServiceContext& context)
        = 0;
};

} // namespace PlatformSvcComm
