// bimcore-host (built from tools/bimhost): a host program of the BIM core
// library, an administrator's tool. It reads the signed-in
// user's launch parameters from its command line, opens and updates a
// project through the central service, calls REST services, downloads files
// and works on workspace folders; see --help.
#include "Console.h"
#include "HostSystem.h"
#include "HostCommandLine.h"
#include "HostError.h"
#include "NetworkCommands.h"
#include "ProjectCommand.h"
#include "WorkspaceCommand.h"

#include <bimcore/core/BIMException.h>
#include <bimcore/core/Global.h>
#include <bimcore/core/Version.h>

#include <QApplication>

#include <exception>

namespace {

QString commandName(const HostCommandLine& commandLine)
{
    switch (commandLine.command()) {
    case HostCommandLine::Command::Open:
        return QStringLiteral("open");
    case HostCommandLine::Command::Update:
        return QStringLiteral("update");
    case HostCommandLine::Command::Get:
        return QStringLiteral("get");
    case HostCommandLine::Command::Post:
        return QStringLiteral("post");
    case HostCommandLine::Command::Download:
        return QStringLiteral("download");
    case HostCommandLine::Command::Workspace:
        return QStringLiteral("workspace");
    case HostCommandLine::Command::Help:
        break;
    case HostCommandLine::Command::Version:
        return QStringLiteral("version");
    }
    return QStringLiteral("help");
}

// The terminal commands need no window; a window without a display is drawn
// offscreen, which is enough for its screenshot.
void choosePlatform(bool gui)
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return;
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (gui && !display)
        Console::error(QStringLiteral("no display: the progress window is drawn offscreen"));
    if (!gui || !display)
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void run(const HostCommandLine& commandLine, bool signedIn)
{
    using Command = HostCommandLine::Command;
    switch (commandLine.command()) {
    case Command::Open:
    case Command::Update:
        if (!signedIn)
            throw HostError(
                QStringLiteral("no user is signed in: give --userID=..."), HostError::Misused);
        runProjectCommand(commandLine);
        return;
    case Command::Get:
        runGet(commandLine);
        return;
    case Command::Post:
        runPost(commandLine);
        return;
    case Command::Download:
        runDownload(commandLine);
        return;
    case Command::Workspace:
        runWorkspace(commandLine);
        return;
    case Command::Help:
        Console::raw(HostCommandLine::helpText());
        return;
    case Command::Version:
        Console::line(QStringLiteral("bimcore-host " BIMCORE_VERSION_STRING));
        return;
    }
}

// Every failure ends as one line on standard error and a non-zero status.
int runReporting(const HostCommandLine& commandLine, bool signedIn)
{
    const QString prefix = commandName(commandLine) + QStringLiteral(": ");
    try {
        run(commandLine, signedIn);
        return 0;
    } catch (const HostError& error) {
        Console::error(prefix + error.message());
        return error.exitCode();
    } catch (const BIMException& error) {
        Console::error(prefix + error.message());
    } catch (const std::exception& error) {
        Console::error(prefix + QString::fromUtf8(error.what()));
    }
    return HostError::Failed;
}

} // namespace

int main(int argc, char** argv)
{
    HostSystem::plainLineEnds();
    const QStringList arguments = HostSystem::arguments(argc, argv);
    HostCommandLine commandLine;
    try {
        commandLine = HostCommandLine::parse(arguments);
    } catch (const HostError& error) {
        Console::error(error.message());
        return error.exitCode();
    }

    choosePlatform(commandLine.gui());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bimcore-host"));

    // The launch parameters come before anything else reads them.
    const bool signedIn = Singleton<Global>::instance()->initParams(app);
    const int status = runReporting(commandLine, signedIn);
    Singleton<Global>::destory();
    return status;
}
