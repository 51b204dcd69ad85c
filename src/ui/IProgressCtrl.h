#pragma once

/** @file
 * @brief IProgressCtrl: the progress interface. */

#include <bimcore/core/bimcore_export.h>

namespace bimcore {

/**
 * @brief The small progress interface that work code drives without knowing
 * the widget behind it (BIMProgressBar).
 *
 * Objects are destroyed through their own type, never through this
 * interface, hence the protected non-virtual destructor. Thread: the thread
 * that owns the user interface.
 */
struct BIMCORE_EXPORT IProgressCtrl
{
    /** @brief Shows or hides the progress. @param visible true shows, false hides */
    virtual void SetVisible(bool visible) = 0;
    /** @brief Sets the upper bound. @param maximum the new upper bound */
    virtual void SetMaximum(int maximum) = 0;
    /** @brief Shows a new progress value. @param value the value */
    virtual void UpdateValue(int value) = 0;
    /** @brief Shows a text with the progress. @param text NUL-terminated; null means no text */
    virtual void SetDescription(const wchar_t* text) = 0;

protected:
    /** @brief For implementations only. */
    IProgressCtrl() = default;
    /** @brief For implementations only. */
    IProgressCtrl(const IProgressCtrl&) = default;
    /** @brief For implementations only. @return this interface */
    IProgressCtrl& operator=(const IProgressCtrl&) = default;
    /** @brief Not virtual: destroy an object through its own type. */
    ~IProgressCtrl() = default;
};

} // namespace bimcore

#ifndef BIMCORE_NO_GLOBAL_NAMES
using bimcore::IProgressCtrl;
#endif
