#include "ProjectCommand.h"

#include "Console.h"
#include "HostCommandLine.h"
#include "HostError.h"
#include "HostProject.h"
#include "ProjectReport.h"
#include "TerminalProgress.h"
#include "WindowProgress.h"

#include <bimcore/core/BIMException.h>
#include <bimcore/core/Global.h>

#include <QFileInfo>

#include <memory>

namespace {

// Project::destory() deletes the registered project however the command ends.
struct RegisteredProject
{
    RegisteredProject()
        : project(HostProject::create())
    {
    }
    ~RegisteredProject() { Project::destory(); }
    RegisteredProject(const RegisteredProject&) = delete;
    RegisteredProject& operator=(const RegisteredProject&) = delete;

    HostProject* project;
};

// An update that failed and then could not reopen the local copy (as on a
// first fetch) throws the library's open failure; the service's own text,
// which says why, is added to it.
template <typename Step> bool withServiceText(HostProject& project, Step step)
{
    try {
        return step();
    } catch (const BIMException& error) {
        if (project.GetErrorMsg().isEmpty())
            throw;
        throw HostError(QStringLiteral("%1 %2").arg(error.message(), project.GetErrorMsg()));
    }
}

QString absolute(const QString& path)
{
    return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
}

} // namespace

void runProjectCommand(const HostCommandLine& commandLine)
{
    Global& global = *Singleton<Global>::instance();
    global.m_projectId = commandLine.projectId();
    global.m_projectKey = commandLine.projectKey();
    global.m_projectPath = absolute(commandLine.projectPath());
    global.m_projectCacheDir = absolute(commandLine.projectCacheDir());

    RegisteredProject registered;
    HostProject& project = *registered.project;

    std::unique_ptr<ProgressDisplay> display;
    WindowProgress* window = nullptr;
    if (commandLine.gui()) {
        auto made = std::make_unique<WindowProgress>(
            QStringLiteral("bimcore-host - %1").arg(global.m_projectKey),
            QStringLiteral("Opening %1").arg(global.m_projectKey));
        window = made.get();
        display = std::move(made);
    } else {
        display = std::make_unique<TerminalProgress>(Console::progressIsTerminal());
    }
    const ProgressDisplay::Current current(*display);

    const bool opened
        = withServiceText(project, [&] { return project.open(ProgressDisplay::callback()); });
    display->finish();
    if (!opened)
        throw HostError(QStringLiteral("the central service could not deliver the project: %1")
                            .arg(project.GetErrorMsg()));
    QString howOpened = project.fetchedOnOpen()
        ? QStringLiteral("fetched from the central service (no local copy yet)")
        : QStringLiteral("from the local copy");

    if (commandLine.command() == HostCommandLine::Command::Update) {
        const bool updated = withServiceText(
            project, [&] { return project.updateProject(ProgressDisplay::callback()); });
        display->finish();
        if (!updated)
            throw HostError(QStringLiteral("the update failed: %1").arg(project.GetErrorMsg()));
        howOpened += QStringLiteral(", then updated through the central service");
    }

    if (window && !commandLine.screenshot().isEmpty())
        window->saveScreenshot(commandLine.screenshot());
    ProjectReport(project, howOpened).print();
}
