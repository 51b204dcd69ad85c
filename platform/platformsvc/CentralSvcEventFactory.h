#pragma once

#include <bimcore/platform/platformsvc/IBIMPlatformEvent.h>
#include <string>

/// The parameter block of a central-service file-processing request. The
/// field order is part of the platform's interface.
struct FileProcessParams
{
    long long m_projectId { 0 };
    std::wstring m_projectKey; ///< names the project's folder in the central store
    std::wstring m_projectPath; ///< local project folder the files are brought into
    std::wstring m_account;
    /// What the request asks the service to do; the event factory sets it to
    /// kFetchProjectFilesOperation and the caller leaves it alone.
    std::wstring m_operation;
    std::wstring m_userID;
    std::wstring m_displayName;
    std::wstring m_token; ///< "Bearer " + the user's token
    std::wstring m_tenantID;
    std::wstring m_productCode;
};

namespace PlatformSvcComm {
/// The one operation of the central store: bring the project's two files into
/// the local project folder and report which records changed.
inline constexpr const wchar_t* kFetchProjectFilesOperation = L"FetchProjectFiles";

/// SetRequestFlag value that submits a request for processing.
inline constexpr int kRequestFlagSubmit = 1;
} // namespace PlatformSvcComm

/// A file-processing request for the central service: the caller fills the
/// parameter block, sets the request flag and posts the event to the hub. The
/// hub reads the request while PostPlatformEvent runs and never afterwards, so
/// the caller may delete it whenever it likes once the post has returned.
class PLATFORMSVC_EXPORT ICentralServiceFileProcessEvent : public IBIMPlatformEvent
{
public:
    ~ICentralServiceFileProcessEvent() override;

    /// The writable parameter block, owned by the event; never null.
    virtual FileProcessParams* GetParams() = 0;
    virtual void SetRequestFlag(int flag) = 0;
    virtual int GetRequestFlag() const = 0;
};

class PLATFORMSVC_EXPORT CentralSvcEventFactory
{
public:
    /// A new request with an empty parameter block (its operation field set to
    /// fetch the project files) and flag 0. Never null; the caller owns it and
    /// deletes it with delete.
    static ICentralServiceFileProcessEvent* CreateCentralServiceFileProcessEvent();
};
