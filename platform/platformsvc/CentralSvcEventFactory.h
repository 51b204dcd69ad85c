#pragma once

#include <platformsvc/ICentralServiceFileProcessEvent.h>

class PLATFORMSVC_EXPORT CentralSvcEventFactory
{
public:
    // A new request with an empty parameter block (its operation field set to
    // fetch the project files) and flag 0. Never null; the caller owns it and
    // deletes it with delete.
    static ICentralServiceFileProcessEvent* CreateCentralServiceFileProcessEvent();
};
