#pragma once

#include <bimcore/project/Project.h>

// The host's own project class. The library reaches the one object through
// Project::instance(); Project::destory() deletes it.
class HostProject : public Project
{
public:
    // Makes the object and registers it as the process's project.
    static HostProject* create();

    // Whether the last open found no local copy and fetched the project.
    bool fetchedOnOpen() const { return m_fetchedOnOpen; }

    bool open(ProgressCallback callback) override;

protected:
    HostProject() = default;
    ~HostProject() override = default;

private:
    bool m_fetchedOnOpen = false;
};
