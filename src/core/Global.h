#pragma once

#include <bimcore/core/Singleton.h>
#include <bimcore/core/bimcore_export.h>

#include <QString>
#include <QtGlobal>

#include <memory>

class QApplication;
class BIMProgressBar;
class Global;

extern template class BIMCORE_EXPORT Singleton<Global>;

// The launch parameters of the signed-in user and the folders the application
// works in. initParams() fills most fields from the host's command line and
// the launcher's settings; the host writes the open project's identity and
// folders itself. The field order is part of the exported interface.
class BIMCORE_EXPORT Global : public Singleton<Global>
{
public:
    Global() = default;
    ~Global() override = default;

    // Reads "--key=value" arguments (the first two characters of each are
    // dropped unexamined) and the workspace root. False when no "userID" was
    // given; the application and data folders are then left as they were.
    bool initParams(const QApplication& app);

    QString m_appDir;             // application folder, ending in "/"
    QString m_dataDir;            // parent of the application folder + "/Data/"
    qint64 m_projectId{0};        // open project, set by the host
    QString m_workspaceRoot;      // from the launcher's settings, ending in "/"
    QString m_userDir;            // host only
    QString m_projectKey;         // open project, set by the host
    QString m_projectCacheDir;    // removed by Project::clear
    QString m_projectName;        // host only
    QString m_projectPath;        // project folder, set by the host
    QString m_modelDir;           // host only
    QString m_modelCacheDir;      // host only
    qint64 m_projectVersion{0};   // host only
    QString m_language;           // host only
    QString m_hostVersion;        // host only
    QString m_userID;
    QString m_displayName;
    QString m_token;              // "Bearer " + the "token" argument
    QString m_userToken;
    QString m_account;
    QString m_pwd;
    QString m_projectService;
    QString m_collaborationService;
    QString m_vizHubApiService;
    QString m_vizHubFileService;
    QString m_cloudDomain;
    QString m_tenantID;
    QString m_productCode;

    // The host's shared progress bar; the library only releases it at unload.
    static std::shared_ptr<BIMProgressBar> s_pProgressBar;
};
