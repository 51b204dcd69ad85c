#pragma once

#include <QString>

// The library's messages to the user, each written in one place.

namespace bimcore {

inline QString openFailedMessage()
{
    return QStringLiteral("打开项目失败！");
}

inline QString networkTimeoutMessage()
{
    return QStringLiteral("网络超时！");
}

} // namespace bimcore
