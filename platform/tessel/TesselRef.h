#pragma once

#include <bimcore/platform/tessel/TesselInterfaces.h>
#include <bimcore/platform/tessel/tessel_export.h>
#include <QString>
#include <utility>

/// The reference that every handle of the data-model library holds on its
/// library object: AddRef when a reference is taken, Release when it goes.
/// Copies share the object; a default-built reference is null.
template <class Interface> class TesselRef
{
public:
    TesselRef() = default;
    /// Takes a reference of its own; the caller keeps the one it had.
    explicit TesselRef(Interface* object)
        : m_object(object)
    {
        if (m_object)
            m_object->AddRef();
    }
    TesselRef(const TesselRef& other)
        : TesselRef(other.m_object)
    {
    }
    TesselRef(TesselRef&& other) noexcept
        : m_object(std::exchange(other.m_object, nullptr))
    {
    }
    TesselRef& operator=(TesselRef other) noexcept
    {
        std::swap(m_object, other.m_object);
        return *this;
    }
    ~TesselRef()
    {
        if (m_object)
            m_object->Release();
    }

    Interface* get() const noexcept { return m_object; }
    Interface* operator->() const noexcept { return m_object; }
    Interface& operator*() const noexcept { return *m_object; }
    explicit operator bool() const noexcept { return m_object != nullptr; }

private:
    Interface* m_object = nullptr;
};

/// The base of the handle classes: a value handle over one library object.
/// Copies refer to the same object, which lives while any handle refers to it
/// (a part keeps its model alive too). A default-built handle is null; every
/// operation of a handle except these raises KRVException on a null one.
template <class Interface> class TesselHandle
{
public:
    TesselHandle() = default;
    /// A null pointer gives a null handle; otherwise takes a reference.
    explicit TesselHandle(Interface* object)
        : m_object(object)
    {
    }

    bool isNull() const noexcept { return !m_object; }
    explicit operator bool() const noexcept { return !isNull(); }
    Interface* get() const noexcept { return m_object.get(); }
    /// Same library object.
    bool operator==(const TesselHandle& other) const noexcept { return get() == other.get(); }
    bool operator!=(const TesselHandle& other) const noexcept { return get() != other.get(); }

private:
    TesselRef<Interface> m_object;
};

/// A handle to one item of a library object (a field of a table, a record, a
/// definition of a list): the object and the item's position in it.
template <class Interface> class TesselItemHandle : public TesselHandle<Interface>
{
public:
    TesselItemHandle() = default;
    TesselItemHandle(Interface* object, int index)
        : TesselHandle<Interface>(object)
        , m_index(index)
    {
    }

protected:
    int m_index = -1;
};
