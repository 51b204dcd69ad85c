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
    *object = iid == IKUnknown::iid() ? static_cast<IKUnknown*>(this) : nullptr;
    return *object ? K_OK : K_NOINTERFACE;
}
