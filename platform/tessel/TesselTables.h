#pragma once

#include <bimcore/platform/tessel/TesselTable.h>

/// The ordered tables of one database.
class TESSEL_EXPORT TesselTables : public TesselHandle<ITesselDatabase>
{
public:
    using TesselHandle::TesselHandle;
    int count() const;
    /// The index-th table; an index out of range raises KRVException.
    TesselTable items(int index) const;
};
