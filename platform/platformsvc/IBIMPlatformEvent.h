#pragma once

#include <bimcore/platform/platformsvc/platformsvc_export.h>
#include <QMetaType>

/// An event that travels through the platform hub. Broadcast events are
/// reference counted: every queued delivery of a broadcast holds its own
/// reference, so an event (and the data it points to) stays valid until the
/// last receiver has run. Whoever creates an event holds the first reference;
/// a caller-owned request may simply be deleted.
class PLATFORMSVC_EXPORT IBIMPlatformEvent
{
public:
    virtual ~IBIMPlatformEvent();

    virtual void AddRef() = 0;
    /// Drops one reference and deletes the event with the last one.
    virtual void Release() = 0;

    /// The type name, a NUL-terminated wide string owned by the event.
    virtual const wchar_t* GetEventType() const = 0;
    virtual long long GetProjectId() const = 0;
    /// The payload, owned by the event: the change map of a response
    /// (PlatformSvcComm::TableChangeMap), the NUL-terminated wide text of an
    /// error event, the parameter block of a request; null for the others.
    virtual void* GetEventData() const = 0;

protected:
    IBIMPlatformEvent() = default;
    IBIMPlatformEvent(const IBIMPlatformEvent&) = default;
    IBIMPlatformEvent& operator=(const IBIMPlatformEvent&) = default;
};

/// Argument types of the hub's signals. Qt copies a queued argument whose type
/// name ends in '*' as a bare pointer; the library registers these names (and
/// the pointer types, for connections given their argument types) when it
/// loads, so that a queued copy holds a reference on the event or owns a copy
/// of the text.
using BIMPlatformEventPtr = IBIMPlatformEvent*;
using BIMProgressText = const wchar_t*;
Q_DECLARE_METATYPE(IBIMPlatformEvent*)
Q_DECLARE_METATYPE(const wchar_t*)

namespace PlatformSvcComm {
/// Type names of the events the central service exchanges through the hub.
inline constexpr const wchar_t* kFileProcRequestEvent = L"CentralSvcFileProcRequestEvent";
inline constexpr const wchar_t* kFileProcStartEvent = L"CentralSvcFileProcStartEvent";
inline constexpr const wchar_t* kFileProcResponseEvent = L"CentralSvcFileProcResponseEvent";
inline constexpr const wchar_t* kPlatformErrorEvent = L"BIMPlatformErrorEvent";
} // namespace PlatformSvcComm
