// Runs Global::initParams on this program's own command line and prints the
// result and the fields as one JSON object.
//
// Environment:
//   PROBE_SETTINGS_DIR  folder that stands in for the system-wide settings
//   PROBE_CALLS         how many times initParams runs (default 1)
// Before the first call fields 1, 2 and 4 hold the text "untouched".

#include <core/Global.h>

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

    Global* global = Singleton<Global>::instance();
    global->m_appDir = global->m_dataDir = global->m_workspaceRoot = QStringLiteral("untouched");

    const int calls = qEnvironmentVariableIsSet("PROBE_CALLS")
        ? qEnvironmentVariableIntValue("PROBE_CALLS")
        : 1;
    bool result = false;
    for (int call = 0; call < calls; ++call)
        result = global->initParams(app);

    const QJsonObject fields {
        { "result", result },
        { "appDir", global->m_appDir },
        { "dataDir", global->m_dataDir },
        { "workspaceRoot", global->m_workspaceRoot },
        { "account", global->m_account },
        { "pwd", global->m_pwd },
        { "userID", global->m_userID },
        { "displayName", global->m_displayName },
        { "token", global->m_token },
        { "tenantID", global->m_tenantID },
        { "productCode", global->m_productCode },
        { "projectService", global->m_projectService },
        { "collaborationService", global->m_collaborationService },
        { "vizHubApiService", global->m_vizHubApiService },
        { "vizHubFileService", global->m_vizHubFileService },
        { "cloudDomain", global->m_cloudDomain },
        { "userToken", global->m_userToken },
    };
    std::fputs(QJsonDocument(fields).toJson(QJsonDocument::Compact).constData(), stdout);
    Singleton<Global>::destory();
    return 0;
}
