// Runs Global::initParams on this program's own command line and prints the
// result and the fields as one JSON object.
//
// Environment:
//   PROBE_SETTINGS_DIR  folder that stands in for the system-wide settings
//   PROBE_CALLS         how many times initParams runs
// Before the first call fields 1, 2 and 4 hold the text "untouched".

#include <bimcore/core/Global.h>
#include <bimcore/ui/BIMProgressBar.h>

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <cstdio>

int main(int argc, char** argv)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
        qEnvironmentVariable("PROBE_SETTINGS_DIR"));
    QApplication app(argc, argv);
    // The shared progress bar shown, and main returning still holding it, as
    // a host may: the widget must go with the application object, not in a
    // static destructor after it.
    Global::s_pProgressBar = std::make_shared<BIMProgressBar>();
    Global::s_pProgressBar->SetVisible(true);
    QApplication::processEvents();

    Global* g = Singleton<Global>::instance();
    g->m_appDir = g->m_dataDir = g->m_workspaceRoot = QStringLiteral("untouched");
    bool result = false;
    for (int call = qEnvironmentVariableIntValue("PROBE_CALLS"); call > 0; --call)
        result = g->initParams(app);

    const QJsonObject fields { { "result", result }, { "appDir", g->m_appDir },
        { "dataDir", g->m_dataDir }, { "workspaceRoot", g->m_workspaceRoot },
        { "account", g->m_account }, { "pwd", g->m_pwd }, { "userID", g->m_userID },
        { "displayName", g->m_displayName }, { "token", g->m_token }, { "tenantID", g->m_tenantID },
        { "productCode", g->m_productCode }, { "projectService", g->m_projectService },
        { "collaborationService", g->m_collaborationService },
        { "vizHubApiService", g->m_vizHubApiService },
        { "vizHubFileService", g->m_vizHubFileService }, { "cloudDomain", g->m_cloudDomain },
        { "userToken", g->m_userToken } };
    std::fputs(QJsonDocument(fields).toJson(QJsonDocument::Compact).constData(), stdout);
    Singleton<Global>::destory();
    return 0;
}
