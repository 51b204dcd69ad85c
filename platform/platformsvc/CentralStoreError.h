#pragma once

#include <platformsvc/platformsvc_export.h>

#include <QString>

#include <stdexcept>

namespace PlatformSvcComm {

// A fault of the local central store; what() is the UTF-8 text the hub puts
// into the error event.
class PLATFORMSVC_EXPORT CentralStoreError : public std::runtime_error
{
public:
    explicit CentralStoreError(const QString& message);
};

} // namespace PlatformSvcComm
