#pragma once

// The models helper under the name that some tests still use.
#include "ProjectFolders.h"

namespace TesselModels {
using ProjectFolders::loaded;
using ProjectFolders::newModel;
} // namespace TesselModels
