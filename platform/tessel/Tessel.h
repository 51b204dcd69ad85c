#pragma once

// The data-model library: engine, models, databases, tables, schemas,
// records, extended property definitions, persistence and identifier
// handlers.
#include <tessel/TesselDatabase.h>
#include <tessel/TesselEngine.h>
#include <tessel/TesselEnums.h>
#include <tessel/TesselExtPropDef.h>
#include <tessel/TesselExtPropDefs.h>
#include <tessel/TesselFieldSchema.h>
#include <tessel/TesselFieldSchemas.h>
#include <tessel/TesselInterfaces.h>
#include <tessel/TesselModel.h>
#include <tessel/TesselModelPersistent.h>
#include <tessel/TesselQueryIDValueEvent.h>
#include <tessel/TesselQueryIDValueImpl.h>
#include <tessel/TesselRecord.h>
#include <tessel/TesselRef.h>
#include <tessel/TesselTable.h>
#include <tessel/TesselTableSchema.h>
#include <tessel/TesselTables.h>
#include <tessel/VellEngine.h>
