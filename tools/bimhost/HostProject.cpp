#include "HostProject.h"

#include <bimcore/core/Global.h>

#include <QFileInfo>

HostProject* HostProject::create()
{
    auto* project = new HostProject;
    s_pSelf = project;
    return project;
}

bool HostProject::open(ProgressCallback callback)
{
    // The library fetches the project when its folder is missing; the host
    // wants to tell the user which of the two happened.
    m_fetchedOnOpen = !QFileInfo(Singleton<Global>::instance()->m_projectPath).isDir();
    return Project::open(callback);
}
