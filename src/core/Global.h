#pragma once

/** @file
 * @brief Global: the launch parameters of the signed-in user. */

#include <bimcore/core/Singleton.h>
#include <bimcore/core/bimcore_export.h>

#include <QString>
#include <QtGlobal>

#include <memory>

class QApplication;
namespace bimcore {

class BIMProgressBar;
class Global;

/// @cond
// One instance pointer for the library and every host (see Singleton.h).
extern template class BIMCORE_EXPORT Singleton<Global>;
/// @endcond

/**
 * @brief The launch parameters of the signed-in user and the folders the
 * application works in: one record for the whole process.
 *
 * Created by `Singleton<Global>::instance()` and removed by
 * `Singleton<Global>::destory()`. initParams() fills most fields from the
 * host's command line and the launcher's settings; the host writes the open
 * project's identity and folders (m_projectId, m_projectKey, m_projectPath,
 * m_projectCacheDir) itself before it opens a project. The library reads the
 * fields when it needs them and never copies them. The field order is part of
 * the exported interface.
 *
 * Thread: the main thread. Nothing is locked; the first instance() call and
 * initParams() must come before any other thread reads the record.
 */
class BIMCORE_EXPORT Global : public Singleton<Global>
{
public:
    /** @brief An empty record: every text null, both 64-bit fields 0. */
    Global() = default;
    /** @brief Destroys the record; call Singleton<Global>::destory() instead. */
    ~Global() override = default;

    /**
     * @brief Fills the launch parameters from the running application's
     * command line and the launcher's settings.
     *
     * Every argument after the program is read as two characters (dropped
     * unexamined: "--", "/-", ...), a key, "=" and a value; a later key
     * replaces an earlier one, keys are compared case included. The 13 keyed
     * fields (m_account, m_pwd, m_userID, m_displayName, m_token,
     * m_tenantID, m_productCode, m_projectService, m_collaborationService,
     * m_vizHubApiService, m_vizHubFileService, m_cloudDomain, m_userToken)
     * are all rewritten, absent keys as empty text; m_token becomes
     * "Bearer " followed by the "token" value. With a user identifier, also
     * m_appDir, m_dataDir and m_workspaceRoot (the launcher's "WorkSpace"
     * setting as the launcher wrote it, commas included, or the parent of
     * the application's folder).
     * @param app the running application; its arguments and folder are read
     *        through QCoreApplication.
     * @return false when no "userID" (or an empty one) was given; m_appDir,
     *         m_dataDir and m_workspaceRoot are then left as they were.
     * @throws nothing.
     * Thread: the main thread, at start-up.
     */
    bool initParams(const QApplication& app);

    /** @brief The application's folder, ending in "/" (initParams). */
    QString m_appDir;
    /** @brief The parent of the application's folder followed by "/Data/" (initParams). */
    QString m_dataDir;
    /** @brief Identifier of the open project, set by the host; sent to the central service. */
    qint64 m_projectId{0};
    /** @brief The workspace root from the launcher's settings, ending in "/" (initParams). */
    QString m_workspaceRoot;
    /** @brief The host's own; not read by the library. */
    QString m_userDir;
    /** @brief Key of the open project, set by the host; sent to the central service. */
    QString m_projectKey;
    /** @brief Folder that Project::clear() deletes with everything below it, set by the host. */
    QString m_projectCacheDir;
    /** @brief The host's own; not read by the library. */
    QString m_projectName;
    /** @brief The project folder that Project::open() opens, set by the host. */
    QString m_projectPath;
    /** @brief The host's own; not read by the library. */
    QString m_modelDir;
    /** @brief The host's own; not read by the library. */
    QString m_modelCacheDir;
    /** @brief The host's own; not read by the library. */
    qint64 m_projectVersion{0};
    /** @brief The host's own; not read by the library. */
    QString m_language;
    /** @brief The host's own; not read by the library. */
    QString m_hostVersion;
    /** @brief User identifier, argument "userID"; initParams() fails without it. */
    QString m_userID;
    /** @brief The user's display name, argument "displayName". */
    QString m_displayName;
    /** @brief "Bearer " followed by the argument "token": the REST requests' "Authorization". */
    QString m_token;
    /** @brief Argument "userToken"; for the host. */
    QString m_userToken;
    /** @brief The user's account, argument "account". */
    QString m_account;
    /** @brief Argument "pwd"; for the host. */
    QString m_pwd;
    /** @brief Address of the project service, argument "projectService"; for the host. */
    QString m_projectService;
    /** @brief Address of the collaboration service, argument "collaborationService"; for the host. */
    QString m_collaborationService;
    /** @brief Address of the model-viewing service's API, argument "vizHubApiService"; for the host. */
    QString m_vizHubApiService;
    /** @brief Address of the model-viewing service's file store, argument "vizHubFileService"; for the host. */
    QString m_vizHubFileService;
    /** @brief Argument "cloudDomain"; for the host. */
    QString m_cloudDomain;
    /** @brief The tenant, argument "tenantID"; sent to the central service. */
    QString m_tenantID;
    /** @brief The product code, argument "productCode"; sent to the central service. */
    QString m_productCode;

    /**
     * @brief The host's shared progress bar: empty until the host sets it.
     *
     * The library never creates or calls the bar. It releases it when the
     * application object is destroyed, so a host may hold it until it returns
     * from main; a host that releases it earlier loses nothing. Lives
     * independently of the Global record. Thread: the main thread (a widget).
     */
    static std::shared_ptr<BIMProgressBar> s_pProgressBar;
};

} // namespace bimcore

#ifndef BIMCORE_NO_GLOBAL_NAMES
using bimcore::Global;
#endif
