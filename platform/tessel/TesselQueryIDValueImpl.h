#pragma once

#include <bimcore/platform/tessel/TesselQueryIDValueEvent.h>

/// Base of identifier handlers. Its references do not govern its lifetime
/// (KNoRefInterfaceObject): its owner keeps it alive while tables use it.
/// Subclasses override doQueryIDValue; onQueryIDValue reaches it.
class TESSEL_EXPORT TesselQueryIDValueImpl : public KNoRefInterfaceObject,
                                             public ITesselQueryIDValueEvent
{
public:
    /// Both bases' IKUnknown operations lead to KNoRefInterfaceObject's.
    long QueryInterface(const KInterfaceId& iid, void** object) override
    {
        return KNoRefInterfaceObject::QueryInterface(iid, object);
    }
    unsigned long AddRef() override { return KNoRefInterfaceObject::AddRef(); }
    unsigned long Release() override { return KNoRefInterfaceObject::Release(); }

    /// The value hook. The base leaves *value untouched, which makes the table
    /// fall back to a fresh KObjectID::NewID() identifier.
    virtual void doQueryIDValue(ITesselRecord*, QVariant*) { }
    void onQueryIDValue(ITesselRecord* record, QVariant* value) override
    {
        doQueryIDValue(record, value);
    }

protected:
    /// Knows ITesselQueryIDValueEvent besides IKUnknown.
    long _QueryInterface(const KInterfaceId& iid, void** object) override;
};
