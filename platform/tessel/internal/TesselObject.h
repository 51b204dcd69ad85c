#pragma once

#include <krvcommon/KNoRefInterfaceObject.h>

#include <atomic>

// The reference-counted base of the library's own objects: the object deletes
// itself when its last reference goes.
template <class Interface> class TesselObject : public Interface
{
public:
    TesselObject() = default;
    TesselObject(const TesselObject&) = delete;
    TesselObject& operator=(const TesselObject&) = delete;
    virtual ~TesselObject() = default;

    long QueryInterface(const KInterfaceId& iid, void** object) override
    {
        if (!object)
            return K_NOINTERFACE;
        if (iid == IKUnknown::iid()) {
            AddRef();
            *object = static_cast<IKUnknown*>(this);
            return K_OK;
        }
        *object = nullptr;
        return K_NOINTERFACE;
    }
    unsigned long AddRef() override { return ++m_references; }
    unsigned long Release() override
    {
        const unsigned long left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

private:
    std::atomic<unsigned long> m_references { 0 };
};
