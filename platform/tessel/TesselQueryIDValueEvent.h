#pragma once

#include <bimcore/platform/tessel/TesselRef.h>

class QVariant;

/// The identifier handler of a table: asked for the identifier of every record
/// appended to the table. The handler stores the identifier in *value as an
/// unsigned 64-bit integer (QVariant of type qulonglong, or anything that
/// converts to one); record is the new record (its fields already hold their
/// values, its identifier is not yet set).
struct TESSEL_EXPORT ITesselQueryIDValueEvent : IKUnknown
{
    virtual void onQueryIDValue(ITesselRecord* record, QVariant* value) = 0;

    static const KInterfaceId& iid();

protected:
    ~ITesselQueryIDValueEvent() = default;
};

/// Handle of an identifier handler, as set on a table with
/// TesselTable::setOnQueryIDValue. May be null (no handler).
class TESSEL_EXPORT TesselQueryIDValueEvent : public TesselHandle<ITesselQueryIDValueEvent>
{
public:
    using TesselHandle::TesselHandle;
    /// Asks the handler; a null handle raises KRVException.
    void onQueryIDValue(ITesselRecord* record, QVariant* value) const;
};
