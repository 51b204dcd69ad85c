#pragma once

/** @file
 * @brief BIMProgressBar: the progress bar adapter. */

#include <bimcore/core/bimcore_export.h>
#include <bimcore/ui/IProgressCtrl.h>

#include <bimcore/platform/controls/ProgressBar.h>

namespace bimcore {

/**
 * @brief The controls library's progress bar behind the IProgressCtrl interface.
 *
 * The host creates, drives and destroys it (often held by
 * Global::s_pProgressBar); the library never does. A top-level bar widens to
 * hold its text.
 *
 * Thread: the thread that owns the user interface (the main thread), for
 * every call, construction and destruction included.
 */
// Deliberately without Q_OBJECT: the bar keeps ProgressBar's meta-object and
// all of its widget behaviour; only the four interface calls are added.
class BIMCORE_EXPORT BIMProgressBar : public ProgressBar, public IProgressCtrl
{
public:
    /** @brief A bar from 0 to 100. @param parent the parent widget; null makes a top-level bar. */
    BIMProgressBar(QWidget* parent = nullptr);
    /** @brief Destroys the widget. */
    ~BIMProgressBar() override;

    /** @brief Shows the bar at once, painted (ShowImmediately), or hides it.
     *  @param visible true shows, false hides */
    void SetVisible(bool visible) override;
    /** @brief Sets the upper bound, unchanged. @param maximum the new upper bound */
    void SetMaximum(int maximum) override;
    /** @brief Shows a new progress value, unchanged. @param value the value */
    void UpdateValue(int value) override;
    /** @brief Shows the text with the bar.
     *  @param text NUL-terminated (UTF-16 where wchar_t is 16 bits, UCS-4 where
     *         32); null shows no text. */
    void SetDescription(const wchar_t* text) override;
};

} // namespace bimcore

#ifndef BIMCORE_NO_GLOBAL_NAMES
using bimcore::BIMProgressBar;
#endif
