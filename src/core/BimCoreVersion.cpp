#include "BimCoreVersion.h"

#include <bimcore/core/Version.h>

namespace bimcore {

int version() noexcept
{
    return BIMCORE_VERSION;
}

const char* versionString() noexcept
{
    return BIMCORE_VERSION_STRING;
}

} // namespace bimcore
