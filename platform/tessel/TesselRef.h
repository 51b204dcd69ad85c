#pragma once

#include <utility>

// The reference that every handle of the data-model library holds on its
// library object: AddRef when a reference is taken, Release when it goes.
// Copies share the object; a default-built reference is null.
template <class Interface> class TesselRef
{
public:
    TesselRef() = default;
    // Takes a reference of its own; the caller keeps the one it had.
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
    bool operator==(const TesselRef& other) const noexcept { return m_object == other.m_object; }
    bool operator!=(const TesselRef& other) const noexcept { return m_object != other.m_object; }

private:
    Interface* m_object = nullptr;
};
