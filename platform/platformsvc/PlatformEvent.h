#pragma once

#include <bimcore/platform/platformsvc/IBIMPlatformEvent.h>
#include <bimcore/platform/platformsvc/TableChangeMap.h>
#include <memory>

namespace PlatformSvcComm {
struct ReleaseEvent
{
    void operator()(IBIMPlatformEvent* event) const noexcept { event->Release(); }
};

/// One reference on an event; null allowed.
using PlatformEventRef = std::unique_ptr<IBIMPlatformEvent, ReleaseEvent>;

/// The events the hub broadcasts. Immutable once made, so any number of
/// threads may read one at the same time.
class PLATFORMSVC_EXPORT PlatformEvent
{
public:
    static PlatformEventRef makeStart(long long projectId);
    static PlatformEventRef makeResponse(long long projectId, TableChangeMap changes);
    static PlatformEventRef makeError(long long projectId, std::wstring text);
    /// Any type name, with no payload.
    static PlatformEventRef makeOther(std::wstring type, long long projectId);
};
} // namespace PlatformSvcComm
