#pragma once

#include <platformsvc/platformsvc_export.h>

#include <QString>

#include <functional>

class ICentralServiceFileProcessEvent;

namespace PlatformSvcComm {

// Told, on the hub's worker thread, the folder where the local central store
// has just put complete copies of both new project files of a request. They
// are not flushed yet, nor compared, nor in place: the folder is moved into
// the project folder's place once they are, or removed when the update fails,
// so whoever wants to read them after returning opens the folder itself
// rather than keeping its name. Only an answer without error says that the
// files are in place. Must return quickly and not throw.
using StagedFilesHandler = std::function<void(const QString& folder)>;

// Gives a request made by CentralSvcEventFactory a handler, read by the hub
// when the request is posted; an empty handler removes it. Requests of other
// makes, and central services other than the local central store, never call
// one.
PLATFORMSVC_EXPORT void setStagedFilesHandler(
    ICentralServiceFileProcessEvent* request, StagedFilesHandler handler);

// The handler of a request, empty when it has none.
StagedFilesHandler stagedFilesHandler(const ICentralServiceFileProcessEvent* request);

// Makes `handler` the one reportStagedFiles calls on this thread, as long as
// the object lives.
class CurrentStagedFilesHandler
{
public:
    explicit CurrentStagedFilesHandler(const StagedFilesHandler* handler);
    ~CurrentStagedFilesHandler();
    CurrentStagedFilesHandler(const CurrentStagedFilesHandler&) = delete;
    CurrentStagedFilesHandler& operator=(const CurrentStagedFilesHandler&) = delete;

private:
    const StagedFilesHandler* m_previous;
};

// Calls the handler of the request this thread is working on, if any.
void reportStagedFiles(const QString& folder);

} // namespace PlatformSvcComm
