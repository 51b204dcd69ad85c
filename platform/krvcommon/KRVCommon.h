#pragma once

// The platform's common utility library: existence tests, tree removal and
// the exception type shared by the platform libraries.
#include <krvcommon/FileSystem.h>
#include <krvcommon/KNoRefInterfaceObject.h>
#include <krvcommon/KObjectID.h>
#include <krvcommon/KRVException.h>
