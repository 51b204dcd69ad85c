#pragma once

#include <platformsvc/IBIMPlatformEvent.h>
#include <platformsvc/TableChangeMap.h>

#include <atomic>
#include <string>
#include <utility>

namespace PlatformSvcComm {

// A reference to a reference-counted event; null allowed.
class PLATFORMSVC_EXPORT PlatformEventRef
{
public:
    PlatformEventRef() = default;
    // Takes over the reference the caller holds (does not add one).
    static PlatformEventRef adopt(IBIMPlatformEvent* event) noexcept;

    PlatformEventRef(const PlatformEventRef& other) noexcept;
    PlatformEventRef(PlatformEventRef&& other) noexcept
        : m_event(std::exchange(other.m_event, nullptr))
    {
    }
    PlatformEventRef& operator=(PlatformEventRef other) noexcept;
    ~PlatformEventRef();

    IBIMPlatformEvent* get() const noexcept { return m_event; }
    IBIMPlatformEvent* operator->() const noexcept { return m_event; }
    explicit operator bool() const noexcept { return m_event != nullptr; }

private:
    IBIMPlatformEvent* m_event { nullptr };
};

// The events the hub broadcasts. Immutable once made, so any number of
// threads may read one at the same time.
class PLATFORMSVC_EXPORT PlatformEvent final : public IBIMPlatformEvent
{
public:
    static PlatformEventRef makeStart(long long projectId);
    static PlatformEventRef makeResponse(long long projectId, TableChangeMap changes);
    static PlatformEventRef makeError(long long projectId, std::wstring text);
    // Any type name, with no payload (tests, and event types of other services).
    static PlatformEventRef makeOther(std::wstring type, long long projectId);

    void AddRef() override;
    void Release() override;
    const wchar_t* GetEventType() const override;
    long long GetProjectId() const override;
    void* GetEventData() const override;

    // Live events of this class in the process; lets tests prove that no
    // broadcast is leaked.
    static long liveCount();

private:
    enum class Payload
    {
        None,
        Changes,
        Text
    };
    PlatformEvent(std::wstring type, long long projectId, Payload payload);
    ~PlatformEvent() override;

    std::atomic<long> m_refs { 1 };
    const std::wstring m_type;
    const long long m_projectId;
    const Payload m_payload;
    TableChangeMap m_changes;
    std::wstring m_text;
};

} // namespace PlatformSvcComm
