#pragma once

#include <bimcore/core/bimcore_export.h>

// Gives a class one lazily created instance, reached through instance() and
// removed by destory() (the exported interface spells it so).
//
// The instance pointer must be one object for the library and every host that
// links it; classes that use this template therefore declare an exported
// explicit instantiation (see Global.h) instead of letting each module make
// its own copy.
template <class T>
class BIMCORE_EXPORT Singleton
{
public:
    Singleton() = default;
    virtual ~Singleton() = default;

    static T* instance()
    {
        if (!m_psInstance)
            m_psInstance = new T(); // value-initialised: 64-bit fields start at 0
        return m_psInstance;
    }

    static void destory()
    {
        delete m_psInstance;
        m_psInstance = nullptr;
    }

private:
    Singleton(const Singleton&);
    Singleton& operator=(const Singleton&) { return *this; }

    static T* m_psInstance;
};

template <class T>
T* Singleton<T>::m_psInstance = nullptr;
