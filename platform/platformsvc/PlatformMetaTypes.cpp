#include "CommunicationNexus.h"

#include <QMetaType>

#include <cstring>
#include <cwchar>
#include <new>

namespace PlatformSvcComm {

namespace {

// A queued delivery copies each argument through these, and destroys its copy
// once the receiver has run.
void* constructEventArg(void* where, const void* copy)
{
    IBIMPlatformEvent* event = copy ? *static_cast<IBIMPlatformEvent* const*>(copy) : nullptr;
    if (event)
        event->AddRef();
    return new (where) IBIMPlatformEvent*(event);
}

void destructEventArg(void* where)
{
    if (IBIMPlatformEvent* event = *static_cast<IBIMPlatformEvent**>(where))
        event->Release();
}

void* constructTextArg(void* where, const void* copy)
{
    const wchar_t* text = copy ? *static_cast<const wchar_t* const*>(copy) : nullptr;
    wchar_t* own = nullptr;
    if (text) {
        const size_t length = std::wcslen(text) + 1;
        own = new wchar_t[length];
        std::memcpy(own, text, length * sizeof(wchar_t));
    }
    return new (where) const wchar_t*(own);
}

void destructTextArg(void* where)
{
    delete[] * static_cast<const wchar_t**>(where);
}

const QMetaType::TypeFlags kArgFlags
    = QMetaType::NeedsConstruction | QMetaType::NeedsDestruction | QMetaType::MovableType;

struct RegisterAtLoad
{
    RegisterAtLoad() { RegisterPlatformMetaTypes(); }
} s_registerAtLoad;

} // namespace

void RegisterPlatformMetaTypes()
{
    // Registration by name must come before anyone else registers these names
    // with plain pointer copies; the library does it while it loads.
    static const bool done = [] {
        for (const char* name : { "BIMPlatformEventPtr", "IBIMPlatformEvent*" })
            QMetaType::registerNormalizedType(name, destructEventArg, constructEventArg,
                sizeof(IBIMPlatformEvent*), kArgFlags, nullptr);
        for (const char* name : { "BIMProgressText", "const wchar_t*" })
            QMetaType::registerNormalizedType(name, destructTextArg, constructTextArg,
                sizeof(const wchar_t*), kArgFlags, nullptr);
        return true;
    }();
    (void)done;
}

} // namespace PlatformSvcComm
