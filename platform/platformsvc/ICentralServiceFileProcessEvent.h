#pragma once

#include <platformsvc/FileProcessParams.h>
#include <platformsvc/IBIMPlatformEvent.h>

// A file-processing request for the central service: the caller fills the
// parameter block, sets the request flag and posts the event to the hub. The
// hub reads the request while PostPlatformEvent runs and never afterwards, so
// the caller may delete it whenever it likes once the post has returned.
class PLATFORMSVC_EXPORT ICentralServiceFileProcessEvent : public IBIMPlatformEvent
{
public:
    ~ICentralServiceFileProcessEvent() override;

    // The writable parameter block, owned by the event; never null.
    virtual FileProcessParams* GetParams() = 0;
    virtual void SetRequestFlag(int flag) = 0;
    virtual int GetRequestFlag() const = 0;
};
