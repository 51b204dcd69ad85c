// The library's progress control and the widget it drives.
#include <bimcore/core/Global.h>
#include <bimcore/platform/controls/ProgressBar.h>
#include <bimcore/ui/BIMProgressBar.h>

#include <QtTest>

#include <memory>

class TestProgressBar : public QObject
{
    Q_OBJECT

private slots:
    // No event processing in between: the paint must come from ShowImmediately,
    // for a top-level bar and for the child of a shown window. Already
    // visible, it is painted again, so that the caller sees it current.
    void showPaintsAtOnce()
    {
        for (bool parented : { false, true }) {
            QWidget window;
            auto* bar = new BIMProgressBar(parented ? &window : nullptr);
            const std::unique_ptr<BIMProgressBar> topLevel(parented ? nullptr : bar);
            if (parented) {
                window.show();
                bar->hide();
            }
            bar->SetVisible(true);
            QVERIFY(bar->window()->windowHandle()->isExposed());
            const int paints = bar->immediatePaintCount();
            QVERIFY(paints > 0);
            bar->SetVisible(true);
            QCOMPARE(bar->immediatePaintCount(), paints + 1);
        }
    }

    // Every call goes through the interface to the bar the global slot owns:
    // a range beyond the initial 100, text in any script, narrow text to its
    // first NUL, none for a null pointer.
    void callsThroughInterfaceReachWidget()
    {
        const struct {
            int maximum, value;
            const wchar_t* text;
            const char* prompt;
        } rows[] { { 5000, 4321, L"正在更新项目… \U0001F3D7", "正在更新项目… \xF0\x9F\x8F\x97" },
            { 0, 0, L"first\0second", "first" }, { 3, 3, nullptr, "" } };
        for (const auto& row : rows) {
            Global::s_pProgressBar = std::make_shared<BIMProgressBar>();
            QPointer<BIMProgressBar> bar = Global::s_pProgressBar.get();
            IProgressCtrl& control = *Global::s_pProgressBar;
            control.SetMaximum(row.maximum);
            control.UpdateValue(row.value);
            control.SetDescription(L"stale text");
            control.SetDescription(row.text);
            control.SetVisible(true);
            QCOMPARE(bar->maximum(), row.maximum);
            QCOMPARE(bar->value(), row.value);
            QCOMPARE(bar->prompt(), QString::fromUtf8(row.prompt));
            Global::s_pProgressBar.reset();
        }
    }
};

QTEST_MAIN(TestProgressBar)
#include "tst_progressbar.moc"
