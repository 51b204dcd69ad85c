#pragma once

#include <bimcore/platform/krvcommon/krvcommon_export.h>
#include <QUuid>

/// The platform's component interfaces follow the IUnknown pattern: an
/// interface is asked for by identifier and references are counted.
using KInterfaceId = QUuid;

enum KResult : long {
    K_OK = 0,
    K_NOINTERFACE = -1
};

/// The root of the platform's interfaces. No virtual destructor, on purpose:
/// objects are released through Release(), never deleted through an interface.
struct KRVCOMMON_EXPORT IKUnknown
{
    virtual long QueryInterface(const KInterfaceId& iid, void** object) = 0;
    virtual unsigned long AddRef() = 0;
    virtual unsigned long Release() = 0;

    static const KInterfaceId& iid();

protected:
    ~IKUnknown() = default;
};

/// An interface object whose lifetime is NOT governed by its reference count:
/// _AddRef and _Release only report a nominal count, so holders of references
/// (a table holding an event handler, say) never delete it. Its owner keeps it
/// alive, typically as a process-wide object.
class KRVCOMMON_EXPORT KNoRefInterfaceObject : public IKUnknown
{
public:
    KNoRefInterfaceObject() = default;
    KNoRefInterfaceObject(const KNoRefInterfaceObject&) = delete;
    KNoRefInterfaceObject& operator=(const KNoRefInterfaceObject&) = delete;

    long QueryInterface(const KInterfaceId& iid, void** object) override
    {
        return _QueryInterface(iid, object);
    }
    unsigned long AddRef() override { return _AddRef(); }
    unsigned long Release() override { return _Release(); }
    virtual ~KNoRefInterfaceObject();

protected:
    /// Subclasses extend _QueryInterface with the interfaces they implement and
    /// fall back to this one, which knows only IKUnknown.
    virtual long _QueryInterface(const KInterfaceId& iid, void** object);
    virtual unsigned long _AddRef() { return 1; }
    virtual unsigned long _Release() { return 1; }
};
