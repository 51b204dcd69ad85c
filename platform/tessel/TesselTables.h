#pragma once

#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>
#include <tessel/TesselTable.h>
#include <tessel/tessel_export.h>

// The ordered tables of one database.
class TESSEL_EXPORT TesselTables : public TesselHandle<ITesselDatabase>
{
public:
    using TesselHandle::TesselHandle;

    int count() const;
    // The index-th table; an index out of range raises KRVException.
    TesselTable items(int index) const;
};
