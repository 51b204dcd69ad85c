#include "Global.h"
#include "LauncherSettings.h"

#include <QApplication>
#include <QDir>
#include <QHash>
#include <QSettings>

#include <utility>

template class Singleton<Global>;

std::shared_ptr<BIMProgressBar> Global::s_pProgressBar;

namespace {

QHash<QString, QString> parseArguments(const QStringList& arguments)
{
    QHash<QString, QString> values;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const int equals = argument.indexOf(QLatin1Char('='));
        // The first two characters ("--", "/-", ...) are dropped unexamined.
        const QString key = argument.mid(2, equals < 0 ? -1 : equals - 2);
        const QString value = equals < 0 ? argument : argument.mid(equals + 1);
        values.insert(key, value);
    }
    return values;
}

} // namespace

bool Global::initParams(const QApplication& app)
{
    Q_UNUSED(app);
    const QHash<QString, QString> values = parseArguments(QCoreApplication::arguments());

    // Each launch key fills the field of the same name.
    static const std::pair<const char*, QString Global::*> kLaunchKeys[] = {
        { "account", &Global::m_account },
        { "pwd", &Global::m_pwd },
        { "userID", &Global::m_userID },
        { "displayName", &Global::m_displayName },
        { "token", &Global::m_token },
        { "tenantID", &Global::m_tenantID },
        { "productCode", &Global::m_productCode },
        { "projectService", &Global::m_projectService },
        { "collaborationService", &Global::m_collaborationService },
        { "vizHubApiService", &Global::m_vizHubApiService },
        { "vizHubFileService", &Global::m_vizHubFileService },
        { "cloudDomain", &Global::m_cloudDomain },
        { "userToken", &Global::m_userToken },
    };
    for (const auto& [key, field] : kLaunchKeys)
        this->*field = values.value(QLatin1String(key));

    m_token = QStringLiteral("Bearer ") + m_token;

    if (m_userID.isEmpty())
        return false;

    const std::unique_ptr<QSettings> settings = openLauncherSettings();

    m_appDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');

    QDir parent(m_appDir);
    parent.cdUp();
    const QString parentPath = parent.absolutePath();
    m_dataDir = parentPath + QStringLiteral("/Data/");

    m_workspaceRoot =
        settings->value(QStringLiteral("WorkSpace"), parentPath).toString() + QLatin1Char('/');
    return true;
}
