#include "HostCommandLine.h"

#include "HostError.h"

#include <QCommandLineParser>
#include <QHash>
#include <QSet>

#include <utility>
#include <vector>

namespace {

struct ValueOption
{
    const char* name;
    const char* valueName;
    const char* description;
};

// The thirteen launch parameters, as Global::initParams reads them.
const std::vector<ValueOption>& launchOptions()
{
    static const std::vector<ValueOption> options {
        { "userID", "ID", "Launch parameter: the signed-in user (needed by open and update)." },
        { "account", "NAME", "Launch parameter: the user's account." },
        { "displayName", "TEXT", "Launch parameter: the user's display name." },
        { "token", "TOKEN", "Launch parameter: access token, sent as \"Bearer TOKEN\"." },
        { "userToken", "TOKEN", "Launch parameter: the user's own token." },
        { "pwd", "TEXT", "Launch parameter: password (kept, never sent)." },
        { "tenantID", "ID", "Launch parameter: the tenant." },
        { "productCode", "CODE", "Launch parameter: the product." },
        { "projectService", "URL", "Launch parameter: address of the project service." },
        { "collaborationService", "URL",
            "Launch parameter: address of the collaboration service." },
        { "vizHubApiService", "URL", "Launch parameter: address of the model viewer's API." },
        { "vizHubFileService", "URL",
            "Launch parameter: address of the model viewer's file store." },
        { "cloudDomain", "DOMAIN", "Launch parameter: the cloud domain." },
    };
    return options;
}

const std::vector<ValueOption>& hostOptions()
{
    static const std::vector<ValueOption> options {
        { "projectId", "N", "Project: its identifier (a 64-bit number)." },
        { "projectKey", "KEY", "Project: its key in the central store." },
        { "projectPath", "DIR", "Project: the local project folder." },
        { "projectCacheDir", "DIR", "Project: the folder of its caches." },
        { "screenshot", "FILE", "open/update with --gui: save the progress window as FILE." },
        { "authorization", "TEXT", "get: the \"Authorization\" header instead of the token." },
        { "bodyFile", "FILE", "post: send the JSON object in FILE." },
    };
    return options;
}

const char description[] = R"(bimcore-host: the administrator's way to open, update, download and clear
from a shell what the BIM desktop application works on, through the BIM core
library as the application itself calls it.

Commands:
  open                      Open the project (fetching it from the central
                            service the first time) and print a summary.
  update                    Open the project, bring it up to date through the
                            central service and print what changed.
  get URL                   GET a REST service; print the JSON reply.
  post URL [JSON]           POST a JSON object (default {}); print the reply.
  download URL DIR          Download a file into the folder DIR.
  workspace create DIR      Make the folder and its parents.
  workspace list DIR        List the folders and files directly inside DIR.
  workspace clear DIR       Delete everything inside DIR, keeping DIR.
  workspace remove DIR      Delete DIR with everything inside it.

Every option is written --key=value. The central store that open and update
fetch from is the folder named by BIMCORE_CENTRAL_STORE, or else by the
setting CentralStore/Location of Korvane/PlatformService.)";

void defineOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QString::fromUtf8(description));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    for (const auto* list : { &launchOptions(), &hostOptions() })
        for (const ValueOption& option : *list)
            parser.addOption(QCommandLineOption(QString::fromLatin1(option.name),
                QString::fromUtf8(option.description), QString::fromLatin1(option.valueName)));
    parser.addOption(QCommandLineOption(QStringLiteral("gui"),
        QStringLiteral("open/update: show the progress in a window instead of the terminal.")));
    parser.addPositionalArgument(QStringLiteral("command"),
        QStringLiteral("open, update, get, post, download or workspace."),
        QStringLiteral("COMMAND [ARGUMENTS...]"));
}

[[noreturn]] void misuse(const QString& message)
{
    throw HostError(message + QStringLiteral(" (see --help)"), HostError::Misused);
}

// QCommandLineParser would take "--userID x" as well, but initParams reads
// only "--userID=x"; the host refuses what the library would misread.
void requireEqualsForm(const QStringList& arguments)
{
    QSet<QString> valued;
    for (const auto* list : { &launchOptions(), &hostOptions() })
        for (const ValueOption& option : *list)
            valued.insert(QString::fromLatin1(option.name));
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            return;
        if (argument.startsWith(QLatin1String("--")) && valued.contains(argument.mid(2)))
            misuse(QStringLiteral("write %1=VALUE, with \"=\"").arg(argument));
    }
}

const QHash<QString, std::pair<HostCommandLine::Command, std::pair<int, int>>>& commands()
{
    // name -> command, least and most arguments
    using C = HostCommandLine::Command;
    static const QHash<QString, std::pair<C, std::pair<int, int>>> table {
        { QStringLiteral("open"), { C::Open, { 0, 0 } } },
        { QStringLiteral("update"), { C::Update, { 0, 0 } } },
        { QStringLiteral("get"), { C::Get, { 1, 1 } } },
        { QStringLiteral("post"), { C::Post, { 1, 2 } } },
        { QStringLiteral("download"), { C::Download, { 2, 2 } } },
        { QStringLiteral("workspace"), { C::Workspace, { 2, 2 } } },
    };
    return table;
}

} // namespace

HostCommandLine HostCommandLine::parse(const QStringList& arguments)
{
    requireEqualsForm(arguments);
    QCommandLineParser parser;
    defineOptions(parser);
    if (!parser.parse(arguments))
        misuse(parser.errorText());

    HostCommandLine result;
    if (parser.isSet(QStringLiteral("help")))
        return result;
    if (parser.isSet(QStringLiteral("version"))) {
        result.m_command = Command::Version;
        return result;
    }

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        misuse(QStringLiteral("no command given"));
    const QString name = positional.takeFirst();
    const auto found = commands().constFind(name);
    if (found == commands().constEnd())
        misuse(QStringLiteral("unknown command \"%1\"").arg(name));
    result.m_command = found->first;
    const auto [least, most] = found->second;
    if (positional.size() < least || positional.size() > most)
        misuse(QStringLiteral("%1 takes %2 argument(s), not %3")
                   .arg(name)
                   .arg(least == most ? QString::number(least)
                                      : QStringLiteral("%1 or %2").arg(least).arg(most))
                   .arg(positional.size()));
    result.m_arguments = positional;

    const bool projectCommand
        = result.m_command == Command::Open || result.m_command == Command::Update;
    result.m_gui = parser.isSet(QStringLiteral("gui"));
    result.m_screenshot = parser.value(QStringLiteral("screenshot"));
    if ((result.m_gui || parser.isSet(QStringLiteral("screenshot"))) && !projectCommand)
        misuse(QStringLiteral("--gui and --screenshot go with open and update"));
    if (parser.isSet(QStringLiteral("screenshot")) && !result.m_gui)
        misuse(QStringLiteral("--screenshot needs --gui"));
    if (parser.isSet(QStringLiteral("screenshot")) && result.m_screenshot.isEmpty())
        misuse(QStringLiteral("--screenshot needs a file name"));

    result.m_hasAuthorization = parser.isSet(QStringLiteral("authorization"));
    result.m_authorization = parser.value(QStringLiteral("authorization"));
    if (result.m_hasAuthorization && result.m_command != Command::Get)
        misuse(QStringLiteral("--authorization goes with get"));
    result.m_bodyFile = parser.value(QStringLiteral("bodyFile"));
    if (parser.isSet(QStringLiteral("bodyFile"))
        && (result.m_command != Command::Post || result.m_arguments.size() > 1))
        misuse(QStringLiteral("--bodyFile goes with post, instead of a JSON argument"));

    if (result.m_command == Command::Workspace) {
        static const QStringList operations { QStringLiteral("create"), QStringLiteral("list"),
            QStringLiteral("clear"), QStringLiteral("remove") };
        if (!operations.contains(result.m_arguments.first()))
            misuse(QStringLiteral("workspace takes create, list, clear or remove, not \"%1\"")
                       .arg(result.m_arguments.first()));
    }

    result.m_projectKey = parser.value(QStringLiteral("projectKey"));
    result.m_projectPath = parser.value(QStringLiteral("projectPath"));
    result.m_projectCacheDir = parser.value(QStringLiteral("projectCacheDir"));
    if (projectCommand) {
        const QString id = parser.value(QStringLiteral("projectId"));
        if (id.isEmpty() || result.m_projectKey.isEmpty() || result.m_projectPath.isEmpty())
            misuse(QStringLiteral("%1 needs --projectId=, --projectKey= and --projectPath=")
                       .arg(name));
        bool isNumber = false;
        result.m_projectId = id.toLongLong(&isNumber);
        if (!isNumber)
            misuse(QStringLiteral("--projectId must be a whole number, not \"%1\"").arg(id));
    }
    return result;
}

QString HostCommandLine::helpText()
{
    QCommandLineParser parser;
    defineOptions(parser);
    return parser.helpText();
}
