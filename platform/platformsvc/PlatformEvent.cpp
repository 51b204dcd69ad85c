#include "PlatformEvent.h"

namespace PlatformSvcComm {

namespace {
std::atomic<long> s_liveEvents { 0 };
}

PlatformEventRef PlatformEventRef::adopt(IBIMPlatformEvent* event) noexcept
{
    PlatformEventRef ref;
    ref.m_event = event;
    return ref;
}

PlatformEventRef::PlatformEventRef(const PlatformEventRef& other) noexcept
    : m_event(other.m_event)
{
    if (m_event)
        m_event->AddRef();
}

PlatformEventRef& PlatformEventRef::operator=(PlatformEventRef other) noexcept
{
    std::swap(m_event, other.m_event);
    return *this;
}

PlatformEventRef::~PlatformEventRef()
{
    if (m_event)
        m_event->Release();
}

PlatformEvent::PlatformEvent(std::wstring type, long long projectId, Payload payload)
    : m_type(std::move(type))
    , m_projectId(projectId)
    , m_payload(payload)
{
    ++s_liveEvents;
}

PlatformEvent::~PlatformEvent()
{
    --s_liveEvents;
}

long PlatformEvent::liveCount()
{
    return s_liveEvents.load();
}

PlatformEventRef PlatformEvent::makeStart(long long projectId)
{
    return PlatformEventRef::adopt(
        new PlatformEvent(kFileProcStartEvent, projectId, Payload::None));
}

PlatformEventRef PlatformEvent::makeResponse(long long projectId, TableChangeMap changes)
{
    auto* event = new PlatformEvent(kFileProcResponseEvent, projectId, Payload::Changes);
    event->m_changes = std::move(changes);
    return PlatformEventRef::adopt(event);
}

PlatformEventRef PlatformEvent::makeError(long long projectId, std::wstring text)
{
    auto* event = new PlatformEvent(kPlatformErrorEvent, projectId, Payload::Text);
    event->m_text = std::move(text);
    return PlatformEventRef::adopt(event);
}

PlatformEventRef PlatformEvent::makeOther(std::wstring type, long long projectId)
{
    return PlatformEventRef::adopt(new PlatformEvent(std::move(type), projectId, Payload::None));
}

void PlatformEvent::AddRef()
{
    m_refs.fetch_add(1, std::memory_order_relaxed);
}

void PlatformEvent::Release()
{
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

const wchar_t* PlatformEvent::GetEventType() const
{
    return m_type.c_str();
}

long long PlatformEvent::GetProjectId() const
{
    return m_projectId;
}

void* PlatformEvent::GetEventData() const
{
    switch (m_payload) {
    case Payload::Changes:
        return const_cast<TableChangeMap*>(&m_changes);
    case Payload::Text:
        return const_cast<wchar_t*>(m_text.c_str());
    case Payload::None:
        break;
    }
    return nullptr;
}

} // namespace PlatformSvcComm
