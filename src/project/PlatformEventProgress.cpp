#include "PlatformEventProgress.h"

namespace bimcore {

PlatformEventProgress::PlatformEventProgress(ProgressCallback callback)
    : QObject(nullptr)
    , m_pCallback(callback)
{
}

void PlatformEventProgress::SlotProgressMsg(const wchar_t* s, double d)
{
    if (m_pCallback)
        m_pCallback(s, d);
}

} // namespace bimcore
