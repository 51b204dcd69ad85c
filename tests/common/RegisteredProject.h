#pragma once

#include <bimcore/project/Project.h>

// The host's side of a project in tests: registers itself on construction and
// counts what the library calls on it. Made with new and removed with
// Project::destory(), as a host does.
class RegisteredProject : public Project
{
public:
    RegisteredProject() { s_pSelf = this; }
    ~RegisteredProject() override
    {
        if (destroyedFlag)
            *destroyedFlag = true;
    }

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
    void setTexts(const QString& info, const QString& error)
    {
        m_info1 = m_info2 = m_info3 = info;
        m_errorMsg = error;
    }
    QString info(int which) const { return which == 1 ? m_info1 : which == 2 ? m_info2 : m_info3; }

    int updateOverrideCalls = 0;
    int tableRequests = 0;
    bool* destroyedFlag = nullptr;
};
