#pragma once

#include <bimcore/core/bimcore_export.h>

// The small progress interface that work code drives without knowing the
// widget behind it. Objects are destroyed through their own type, never
// through this interface, hence the protected non-virtual destructor.
struct BIMCORE_EXPORT IProgressCtrl
{
    virtual void SetVisible(bool visible) = 0;
    virtual void SetMaximum(int maximum) = 0;
    virtual void UpdateValue(int value) = 0;
    // text is NUL-terminated; null means no text.
    virtual void SetDescription(const wchar_t* text) = 0;

protected:
    IProgressCtrl() = default;
    IProgressCtrl(const IProgressCtrl&) = default;
    IProgressCtrl& operator=(const IProgressCtrl&) = default;
    ~IProgressCtrl() = default;
};
