#pragma once

#include <bimcore/core/BIMException.h>

#include <QString>

#include <exception>

// What a call raised: "BIMException <code>: <message>", "std::exception:
// <what>", or "nothing".
template <class Call> QString raisedBy(Call call)
{
    try {
        call();
    } catch (const BIMException& e) {
        return QStringLiteral("BIMException %1: %2").arg(e.m_nCode).arg(e.m_strMessage);
    } catch (const std::exception& e) {
        return QStringLiteral("std::exception: ") + e.what();
    }
    return QStringLiteral("nothing");
}
