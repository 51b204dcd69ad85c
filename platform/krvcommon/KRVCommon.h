#pragma once

// The platform's common utility library: existence tests, tree removal and
// the exception type shared by the platform libraries.
#include <bimcore/platform/krvcommon/FileSystem.h>
#include <bimcore/platform/krvcommon/KNoRefInterfaceObject.h>
#include <bimcore/platform/krvcommon/KObjectID.h>
#include <bimcore/platform/krvcommon/KRVException.h>
