#pragma once

// The data-model library: engine, models, databases, tables, schemas,
// records, extended property definitions, persistence and identifier
// handlers.
#include <bimcore/platform/tessel/TesselEngine.h>
#include <bimcore/platform/tessel/TesselModelPersistent.h>
#include <bimcore/platform/tessel/TesselQueryIDValueImpl.h>
