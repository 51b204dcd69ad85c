#include "Project.h"

// Until the update through the central service is in place, no project can be
// fetched: the local copy stays as it is.
bool Project::updateProject(ProgressCallback /*callback*/)
{
    return false;
}
