#pragma once

#include <bimcore/core/bimcore_export.h>
#include <bimcore/ui/IProgressCtrl.h>

#include <bimcore/platform/controls/ProgressBar.h>

// The controls library's progress bar behind the IProgressCtrl interface.
// Deliberately without Q_OBJECT: the bar keeps ProgressBar's meta-object and
// all of its widget behaviour; only the four interface calls are added.
class BIMCORE_EXPORT BIMProgressBar : public ProgressBar, public IProgressCtrl
{
public:
    // A null parent makes a top-level bar.
    BIMProgressBar(QWidget* parent = nullptr);
    ~BIMProgressBar() override;

    void SetVisible(bool visible) override;
    void SetMaximum(int maximum) override;
    void UpdateValue(int value) override;
    void SetDescription(const wchar_t* text) override;
};
