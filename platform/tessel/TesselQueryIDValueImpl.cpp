#include "TesselQueryIDValueImpl.h"

const KInterfaceId& ITesselQueryIDValueEvent::iid()
{
    static const KInterfaceId id(QStringLiteral("{6b1f3c52-8e0d-4a57-9d3e-2f4c81a7b915}"));
    return id;
}

TesselQueryIDValueImpl::TesselQueryIDValueImpl() = default;

TesselQueryIDValueImpl::~TesselQueryIDValueImpl() = default;

long TesselQueryIDValueImpl::QueryInterface(const KInterfaceId& iid, void** object)
{
    return KNoRefInterfaceObject::QueryInterface(iid, object);
}

unsigned long TesselQueryIDValueImpl::AddRef()
{
    return KNoRefInterfaceObject::AddRef();
}

unsigned long TesselQueryIDValueImpl::Release()
{
    return KNoRefInterfaceObject::Release();
}

long TesselQueryIDValueImpl::_QueryInterface(const KInterfaceId& iid, void** object)
{
    if (object && iid == ITesselQueryIDValueEvent::iid()) {
        *object = static_cast<ITesselQueryIDValueEvent*>(this);
        return K_OK;
    }
    return KNoRefInterfaceObject::_QueryInterface(iid, object);
}

void TesselQueryIDValueImpl::doQueryIDValue(ITesselRecord*, QVariant*) { }

void TesselQueryIDValueImpl::onQueryIDValue(ITesselRecord* record, QVariant* value)
{
    doQueryIDValue(record, value);
}
