#include "FileProcessRequest.h"

#include "CentralSvcEventFactory.h"

IBIMPlatformEvent::~IBIMPlatformEvent() = default;
ICentralServiceFileProcessEvent::~ICentralServiceFileProcessEvent() = default;

namespace PlatformSvcComm {

FileProcessRequest::FileProcessRequest()
{
    m_params.m_operation = kFetchProjectFilesOperation;
}

FileProcessRequest::~FileProcessRequest() = default;

void FileProcessRequest::AddRef()
{
    m_refs.fetch_add(1, std::memory_order_relaxed);
}

void FileProcessRequest::Release()
{
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

const wchar_t* FileProcessRequest::GetEventType() const
{
    return kFileProcRequestEvent;
}

long long FileProcessRequest::GetProjectId() const
{
    return m_params.m_projectId;
}

void* FileProcessRequest::GetEventData() const
{
    return const_cast<FileProcessParams*>(&m_params);
}

FileProcessParams* FileProcessRequest::GetParams()
{
    return &m_params;
}

void FileProcessRequest::SetRequestFlag(int flag)
{
    m_requestFlag = flag;
}

int FileProcessRequest::GetRequestFlag() const
{
    return m_requestFlag;
}

} // namespace PlatformSvcComm

ICentralServiceFileProcessEvent* CentralSvcEventFactory::CreateCentralServiceFileProcessEvent()
{
    return new PlatformSvcComm::FileProcessRequest();
}
