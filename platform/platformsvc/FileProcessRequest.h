#pragma once

#include "ICentralServiceFileProcessEvent.h"

#include <atomic>

namespace PlatformSvcComm {

// The request the event factory hands out.
class FileProcessRequest final : public ICentralServiceFileProcessEvent
{
public:
    FileProcessRequest();
    ~FileProcessRequest() override;

    void AddRef() override;
    void Release() override;
    const wchar_t* GetEventType() const override;
    long long GetProjectId() const override;
    void* GetEventData() const override;
    FileProcessParams* GetParams() override;
    void SetRequestFlag(int flag) override;
    int GetRequestFlag() const override;

private:
    std::atomic<long> m_refs { 1 };
    FileProcessParams m_params;
    int m_requestFlag { 0 };
};

} // namespace PlatformSvcComm
