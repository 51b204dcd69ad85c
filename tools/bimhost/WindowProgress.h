#pragma once

#include "ProgressDisplay.h"

namespace bimcore {
struct IProgressCtrl;
}

// The progress in a window: the library's BIMProgressBar, kept in
// Global::s_pProgressBar as the host's shared bar and driven only through
// its IProgressCtrl interface. The window closes when the object goes.
class WindowProgress : public ProgressDisplay
{
public:
    WindowProgress(const QString& title, const QString& firstText);
    ~WindowProgress() override;
    WindowProgress(const WindowProgress&) = delete;
    WindowProgress& operator=(const WindowProgress&) = delete;

    void show(const QString& text, double percent) override;
    void finish() override;

    // Saves the window as it now looks; the format follows the file's suffix
    // (PNG when it has none). Throws HostError when it cannot be written.
    void saveScreenshot(const QString& file) const;

private:
    bimcore::IProgressCtrl& control() const;
};
