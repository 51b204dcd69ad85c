#pragma once

/** @file
 * @brief Singleton: one lazily created instance of a class. */

#include <bimcore/core/bimcore_export.h>

namespace bimcore {

/**
 * @brief Gives a class one lazily created instance, reached through
 * instance() and removed by destory() (so spelt in the exported interface).
 *
 * The library uses it once, as `Singleton<Global>`. Objects cannot be copied.
 *
 * Thread: no lock is taken; the first instance() call must not race with
 * another, so make it on the main thread at start-up.
 */
// The instance pointer must be one object for the library and every host that
// links it; classes that use this template therefore declare an exported
// explicit instantiation (see Global.h) instead of letting each module make
// its own copy.
template <class T>
class BIMCORE_EXPORT Singleton
{
public:
    /** @brief Constructs the base of the one instance. */
    Singleton() = default;
    /** @brief Virtual, so that destory() deletes a T through its base. */
    virtual ~Singleton() = default;

    /**
     * @brief The one instance, created (value-initialised) on the first call.
     * @return never null.
     * @throws std::bad_alloc when the instance cannot be created.
     */
    static T* instance();

    /**
     * @brief Deletes the instance; the next instance() call creates a fresh one.
     * Does nothing when there is none.
     * @throws nothing.
     */
    static void destory();

private:
    Singleton(const Singleton&);
    Singleton& operator=(const Singleton&) { return *this; }

    static T* m_psInstance;
};

template <class T>
T* Singleton<T>::m_psInstance = nullptr;

// Out of the class, so not inline: a DLL exports the members of its explicit
// instantiation (Singleton<Global>), and MinGW exports no inline member.
template <class T>
T* Singleton<T>::instance()
{
    if (!m_psInstance)
        m_psInstance = new T(); // value-initialised: 64-bit fields start at 0
    return m_psInstance;
}

template <class T>
void Singleton<T>::destory()
{
    delete m_psInstance;
    m_psInstance = nullptr;
}

} // namespace bimcore

#ifndef BIMCORE_NO_GLOBAL_NAMES
using bimcore::Singleton;
#endif
