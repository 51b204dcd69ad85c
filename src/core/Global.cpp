#include "Global.h"

#include "LauncherSettings.h"
#include "Logging.h"

#include <QApplication>
#include <QDir>
#include <QHash>

#include <utility>

namespace bimcore {

template class Singleton<Global>;

std::shared_ptr<BIMProgressBar> Global::s_pProgressBar;

namespace {

// The shared bar is a widget, which must go while the application object
// still exists: a host may keep the bar until it returns from main, and the
// static destructor that would release it then runs after the application is
// gone. So the bar is released when the application object is destroyed;
// a host that released it first loses nothing. The routine is registered anew
// for every application object, as each runs the routines once.
void releaseProgressBar()
{
    Global::s_pProgressBar.reset();
}

void releaseProgressBarWithApplication()
{
    qAddPostRoutine(releaseProgressBar);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(releaseProgressBarWithApplication)

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

    if (m_userID.isEmpty()) {
        QStringList keys = values.keys();
        keys.sort();
        qCDebug(lcCore).noquote()
            << "initParams: the launch arguments give no \"userID\" (each argument reads"
               " --key=value and loses its first two characters); keys given:"
            << (keys.isEmpty() ? QStringLiteral("none") : keys.join(QLatin1String(", ")));
        return false;
    }

    m_appDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');

    QDir parent(m_appDir);
    parent.cdUp();
    const QString parentPath = parent.absolutePath();
    m_dataDir = parentPath + QStringLiteral("/Data/");

    m_workspaceRoot = launcherWorkspaceRoot(parentPath) + QLatin1Char('/');
    return true;
}

} // namespace bimcore
