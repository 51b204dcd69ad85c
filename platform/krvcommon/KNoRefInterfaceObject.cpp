#include "KNoRefInterfaceObject.h"

const KInterfaceId& IKUnknown::iid()
{
    static const KInterfaceId id(QStringLiteral("{00000000-0000-0000-c000-000000000046}"));
    return id;
}

KNoRefInterfaceObject::~KNoRefInterfaceObject() = default;

long KNoRefInterfaceObject::QueryInterface(const KInterfaceId& iid, void** object)
{
    return _QueryInterface(iid, object);
}

unsigned long KNoRefInterfaceObject::AddRef()
{
    return _AddRef();
}

unsigned long KNoRefInterfaceObject::Release()
{
    return _Release();
}

long KNoRefInterfaceObject::_QueryInterface(const KInterfaceId& iid, void** object)
{
    if (!object)
        return K_NOINTERFACE;
    if (iid == IKUnknown::iid()) {
        *object = static_cast<IKUnknown*>(this);
        return K_OK;
    }
    *object = nullptr;
    return K_NOINTERFACE;
}

unsigned long KNoRefInterfaceObject::_AddRef()
{
    return 1;
}

unsigned long KNoRefInterfaceObject::_Release()
{
    return 1;
}
