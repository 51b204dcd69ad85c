#include "Global.h"

#include <QApplication>
#include <QDir>
#include <QHash>
#include <QSettings>

template class Singleton<Global>;

std::shared_ptr<BIMProgressBar> Global::s_pProgressBar;

namespace {

// The launcher writes the workspace root machine-wide. On Windows that is the
// registry key below; elsewhere the system-scope native settings of the same
// organisation and application answer for it.
std::unique_ptr<QSettings> openLauncherSettings()
{
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(
        QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Plenar_Lanucher"),
        QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::SystemScope,
                                       QStringLiteral("Korvane"),
                                       QStringLiteral("Plenar_Lanucher"));
#endif
}

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

    m_account = values.value(QStringLiteral("account"));
    m_pwd = values.value(QStringLiteral("pwd"));
    m_userID = values.value(QStringLiteral("userID"));
    m_displayName = values.value(QStringLiteral("displayName"));
    m_token = values.value(QStringLiteral("token"));
    m_tenantID = values.value(QStringLiteral("tenantID"));
    m_productCode = values.value(QStringLiteral("productCode"));
    m_projectService = values.value(QStringLiteral("projectService"));
    m_collaborationService = values.value(QStringLiteral("collaborationService"));
    m_vizHubApiService = values.value(QStringLiteral("vizHubApiService"));
    m_vizHubFileService = values.value(QStringLiteral("vizHubFileService"));
    m_cloudDomain = values.value(QStringLiteral("cloudDomain"));
    m_userToken = values.value(QStringLiteral("userToken"));

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
