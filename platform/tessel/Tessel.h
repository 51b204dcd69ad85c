#pragma once

// The data-model library: engine, models, databases, tables, schemas,
// records, extended property definitions, persistence and identifier
// handlers.
#include <bimcore/platform/tessel/TesselDatabase.h>
#include <bimcore/platform/tessel/TesselEngine.h>
#include <bimcore/platform/tessel/TesselEnums.h>
#include <bimcore/platform/tessel/TesselExtPropDef.h>
#include <bimcore/platform/tessel/TesselExtPropDefs.h>
#include <bimcore/platform/tessel/TesselFieldSchema.h>
#include <bimcore/platform/tessel/TesselFieldSchemas.h>
#include <bimcore/platform/tessel/TesselInterfaces.h>
#include <bimcore/platform/tessel/TesselModel.h>
#include <bimcore/platform/tessel/TesselModelPersistent.h>
#include <bimcore/platform/tessel/TesselQueryIDValueEvent.h>
#include <bimcore/platform/tessel/TesselQueryIDValueImpl.h>
#include <bimcore/platform/tessel/TesselRecord.h>
#include <bimcore/platform/tessel/TesselRef.h>
#include <bimcore/platform/tessel/TesselTable.h>
#include <bimcore/platform/tessel/TesselTableSchema.h>
#include <bimcore/platform/tessel/TesselTables.h>
#include <bimcore/platform/tessel/VellEngine.h>
