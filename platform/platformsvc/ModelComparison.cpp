#include "ModelComparison.h"

namespace PlatformSvcComm {

TableChangeMap compareModelFiles(const QString&, const QString&)
{
    return {};
}

} // namespace PlatformSvcComm
