#pragma once

#include <bimcore/platform/tessel/TesselInterfaces.h>
#include <bimcore/platform/tessel/TesselRef.h>
#include <bimcore/platform/tessel/TesselTable.h>
#include <bimcore/platform/tessel/tessel_export.h>

// The ordered tables of one database.
class TESSEL_EXPORT TesselTables : public TesselHandle<ITesselDatabase>
{
public:
    using TesselHandle::TesselHandle;

    int count() const;
    // The index-th table; an index out of range raises KRVException.
    TesselTable items(int index) const;
};
