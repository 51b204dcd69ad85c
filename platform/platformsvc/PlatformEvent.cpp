#include "PlatformEvent.h"
#include "CentralSvcEventFactory.h"
#include <atomic>

IBIMPlatformEvent::~IBIMPlatformEvent() = default;
ICentralServiceFileProcessEvent::~ICentralServiceFileProcessEvent() = default;

namespace PlatformSvcComm {
namespace {
template <class Interface> class RefCounted : public Interface
{
public:
    void AddRef() override { m_refs.fetch_add(1, std::memory_order_relaxed); }
    void Release() override
    {
        if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete this;
    }

private:
    std::atomic<long> m_refs { 1 };
};

class Event final : public RefCounted<IBIMPlatformEvent>
{
public:
    Event(std::wstring type, long long projectId)
        : m_type(std::move(type))
        , m_projectId(projectId)
    {
    }

    const wchar_t* GetEventType() const override { return m_type.c_str(); }
    long long GetProjectId() const override { return m_projectId; }
    void* GetEventData() const override { return m_data; }

    TableChangeMap m_changes;
    std::wstring m_text;
    void* m_data { nullptr }; // m_changes, m_text's characters or nothing

private:
    const std::wstring m_type;
    const long long m_projectId;
};

class FileProcessRequest final : public RefCounted<ICentralServiceFileProcessEvent>
{
public:
    FileProcessRequest() { m_params.m_operation = kFetchProjectFilesOperation; }

    const wchar_t* GetEventType() const override { return kFileProcRequestEvent; }
    long long GetProjectId() const override { return m_params.m_projectId; }
    void* GetEventData() const override { return const_cast<FileProcessParams*>(&m_params); }
    FileProcessParams* GetParams() override { return &m_params; }
    void SetRequestFlag(int flag) override { m_requestFlag = flag; }
    int GetRequestFlag() const override { return m_requestFlag; }

private:
    FileProcessParams m_params;
    int m_requestFlag { 0 };
};
} // namespace

PlatformEventRef PlatformEvent::makeStart(long long projectId)
{
    return makeOther(kFileProcStartEvent, projectId);
}

PlatformEventRef PlatformEvent::makeResponse(long long projectId, TableChangeMap changes)
{
    auto event = std::make_unique<Event>(kFileProcResponseEvent, projectId);
    event->m_changes = std::move(changes);
    event->m_data = &event->m_changes;
    return PlatformEventRef(event.release());
}

PlatformEventRef PlatformEvent::makeError(long long projectId, std::wstring text)
{
    auto event = std::make_unique<Event>(kPlatformErrorEvent, projectId);
    event->m_text = std::move(text);
    event->m_data = event->m_text.data();
    return PlatformEventRef(event.release());
}

PlatformEventRef PlatformEvent::makeOther(std::wstring type, long long projectId)
{
    return PlatformEventRef(std::make_unique<Event>(std::move(type), projectId).release());
}
} // namespace PlatformSvcComm

ICentralServiceFileProcessEvent* CentralSvcEventFactory::CreateCentralServiceFileProcessEvent()
{
    return std::make_unique<PlatformSvcComm::FileProcessRequest>().release();
}
