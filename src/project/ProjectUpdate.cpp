#include "PlatformEventNexus.h"
#include "Project.h"

#include <bimcore/core/Global.h>
#include <bimcore/core/Logging.h>
#include <bimcore/storage/DatabaseManager.h>

#include <bimcore/platform/platformsvc/CentralSvcEventFactory.h>

#include <memory>

namespace bimcore {

bool Project::updateProject(ProgressCallback callback)
{
    m_errorMsg.clear();
    m_delta.tables.clear();
    m_pDatabaseManager.reset();

    // Owned here and deleted however the call ends; the hub stops using it
    // once it has answered.
    const std::shared_ptr<ICentralServiceFileProcessEvent> request(
        CentralSvcEventFactory::CreateCentralServiceFileProcessEvent());
    const Global& global = *Singleton<Global>::instance();
    FileProcessParams* params = request->GetParams();
    params->m_projectId = global.m_projectId;
    params->m_projectKey = global.m_projectKey.toStdWString();
    params->m_projectPath = global.m_projectPath.toStdWString();
    params->m_account = global.m_account.toStdWString();
    // The fifth field keeps what the factory put there.
    params->m_userID = global.m_userID.toStdWString();
    params->m_displayName = global.m_displayName.toStdWString();
    params->m_token = global.m_token.toStdWString();
    params->m_tenantID = global.m_tenantID.toStdWString();
    params->m_productCode = global.m_productCode.toStdWString();
    request->SetRequestFlag(1);

    if (PlatformEventNexus::Instance()->PostEventAndWait(request.get(), callback)) {
        // A project fetched for the first time reports no changes.
        if (!m_bOpened)
            m_delta.tables.clear();
        return OpenProject(global.m_projectPath);
    }
    m_errorMsg = PlatformEventNexus::Instance()->LastErrorMsg();
    qCDebug(lcProject).noquote() << "update of" << global.m_projectPath
                                 << "failed; the service said:" << m_errorMsg;
    OpenProject(global.m_projectPath);
    return false;
}

} // namespace bimcore
