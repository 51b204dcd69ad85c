#include "KNoRefInterfaceObject.h"

const KInterfaceId& IKUnknown::iid()
{
    static const KInterfaceId id(QStringLiteral("{00000000-0000-0000-c000-000000000046}"));
    return id;
}

KNoRefInterfaceObject::~KNoRefInterfaceObject() = default;

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
