#pragma once

#include <bimcore/project/Project.h>

// The host's side of a project in tests: registers itself on construction and
// counts what the library calls on it. Made with new and removed with
// Project::destory(), as a host does.
class RegisteredProject : public Project
{
public:
    RegisteredProject() { s_pSelf = this; }

    // open() must not reach an override of the update.
    bool updateProject(ProgressCallback callback) override
    {
        ++updateOverrideCalls;
        return Project::updateProject(callback);
    }

    // open() fetches the "project" table through the virtual operation.
    TesselTable getTesselTable(const QString& name) override
    {
        ++tableRequests;
        return Project::getTesselTable(name);
    }

    using Project::OpenProject;
    bool opened() const { return m_bOpened; }
    void setError(const QString& error) { m_errorMsg = error; }

    int updateOverrideCalls = 0;
    int tableRequests = 0;
};
