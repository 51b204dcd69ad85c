#include "PlatformEventNexus.h"

#include "PlatformEventProgress.h"

#include <bimcore/core/Global.h>
#include <bimcore/project/Project.h>

#include <bimcore/platform/platformsvc/CommunicationNexus.h>
#include <bimcore/platform/platformsvc/IBIMPlatformEvent.h>
#include <bimcore/platform/platformsvc/TableChangeMap.h>

#include <QEventLoop>

#include <cwchar>

namespace bimcore {

namespace {

bool isType(const wchar_t* type, const wchar_t* name)
{
    return type && std::wcscmp(type, name) == 0;
}

} // namespace

PlatformEventNexus::PlatformEventNexus(QObject* parent)
    : QObject(parent)
    , m_pCommNexus(PlatformSvcComm::GetPlatformCommunicationNexus())
    , m_bSuccess(true)
{
    connect(m_pCommNexus, &PlatformSvcComm::CCommunicationNexus::sigBroadCastMsg, this,
        &PlatformEventNexus::SlotPlatformEvent);
    // Made once here, so every wait finds it in place.
    connect(this, &PlatformEventNexus::SigErrorMsg, this, [this](const QString& msg) {
        m_bSuccess = false;
        m_errorMsg = msg;
    });
}

PlatformEventNexus::~PlatformEventNexus() = default;

PlatformEventNexus* PlatformEventNexus::Instance()
{
    static PlatformEventNexus bridge(nullptr);
    return &bridge;
}

bool PlatformEventNexus::PostEventAndWait(IBIMPlatformEvent* pEvent, ProgressCallback callback)
{
    m_bSuccess = true;
    m_errorMsg.clear();

    PlatformEventProgress progress(callback);
    connect(m_pCommNexus, &PlatformSvcComm::CCommunicationNexus::sigProgressMsg, &progress,
        &PlatformEventProgress::SlotProgressMsg);
    QEventLoop loop;
    connect(this, &PlatformEventNexus::SigUpdateFinish, &loop, &QEventLoop::quit);

    m_pCommNexus->PostPlatformEvent(pEvent);
    loop.exec();
    // Leaving drops the loop and then the progress object, and with them
    // their connections: later progress reaches no callback.
    return m_bSuccess;
}

QString PlatformEventNexus::LastErrorMsg()
{
    return m_errorMsg;
}

void PlatformEventNexus::SlotPlatformEvent(IBIMPlatformEvent* pEvent)
{
    if (!pEvent)
        return;
    const wchar_t* type = pEvent->GetEventType();
    if (isType(type, PlatformSvcComm::kFileProcStartEvent)) {
        (void)pEvent->GetProjectId();
        return;
    }
    if (isType(type, PlatformSvcComm::kFileProcResponseEvent)) {
        if (pEvent->GetProjectId() != Singleton<Global>::instance()->m_projectId)
            return;
        const auto* changes
            = static_cast<const PlatformSvcComm::TableChangeMap*>(pEvent->GetEventData());
        // Without a registered project there is nowhere to keep the changes;
        // the update still ends.
        if (changes && Project::instance()) {
            auto& tables = Project::instance()->getChangedDelta().tables;
            for (const auto& table : *changes)
                tables.emplace(table.first, table.second); // an existing entry stays
        }
        emit SigUpdateFinish(true);
        return;
    }
    if (isType(type, PlatformSvcComm::kPlatformErrorEvent)) {
        const auto* text = static_cast<const wchar_t*>(pEvent->GetEventData());
        emit SigErrorMsg(text ? QString::fromWCharArray(text) : QString());
        emit SigUpdateFinish(false);
    }
}

} // namespace bimcore
