// The library's progress control and the widget it drives.
#include <bimcore/core/Global.h>
#include <bimcore/platform/controls/ProgressBar.h>
#include <bimcore/ui/BIMProgressBar.h>

#include <QStyle>
#include <QStyleOptionProgressBar>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(const wchar_t*)

class TestProgressBar : public QObject
{
    Q_OBJECT

private slots:
    void showPaintsAtOnce_data()
    {
        QTest::addColumn<bool>("parented");
        QTest::newRow("top-level") << false;
        QTest::newRow("child of a shown window") << true;
    }

    void showPaintsAtOnce()
    {
        QFETCH(bool, parented);
        auto window = std::make_unique<QWidget>();
        QPointer<BIMProgressBar> bar = new BIMProgressBar(parented ? window.get() : nullptr);
        std::unique_ptr<BIMProgressBar> topLevel(parented ? nullptr : bar.data());
        if (parented) {
            window->show();
            bar->hide();
        }
        // No event processing in between: the paint must come from ShowImmediately.
        bar->SetVisible(true);
        QVERIFY(bar->window()->windowHandle()->isExposed());
        const int paints = bar->immediatePaintCount();
        QVERIFY(paints > 0);
        // Already visible: painted again, so that the caller sees it current.
        bar->SetVisible(true);
        QCOMPARE(bar->immediatePaintCount(), paints + 1);
    }

    // Every call goes through the interface to the bar the global slot owns.
    void callsThroughInterfaceReachWidget_data()
    {
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        QTest::addColumn<const wchar_t*>("text");
        QTest::addColumn<QString>("expectedPrompt");
        auto row = [](const char* name, int maximum, int value, const wchar_t* text,
                       const char* prompt) {
            QTest::newRow(name) << maximum << value << text << QString::fromUtf8(prompt);
        };
        row("beyond the initial 100, Chinese", 5000, 4321, L"正在更新项目…", "正在更新项目…");
        row("small range at its end, outside the basic plane", 3, 3, L"model \U0001F3D7 ok",
            "model \xF0\x9F\x8F\x97 ok");
        row("busy, stops at NUL", 0, 0, L"first\0second", "first");
        row("null", 100, 100, nullptr, "");
    }

    void callsThroughInterfaceReachWidget()
    {
        QFETCH(int, maximum);
        QFETCH(int, value);
        QFETCH(const wchar_t*, text);
        QFETCH(QString, expectedPrompt);
        Global::s_pProgressBar = std::make_shared<BIMProgressBar>();
        QPointer<BIMProgressBar> bar = Global::s_pProgressBar.get();
        IProgressCtrl& control = *Global::s_pProgressBar;
        control.SetMaximum(maximum);
        control.UpdateValue(value);
        control.SetDescription(L"stale text");
        control.SetDescription(text);
        control.SetVisible(true);
        QCOMPARE(bar->maximum(), maximum);
        QCOMPARE(bar->value(), value);
        QCOMPARE(bar->prompt(), expectedPrompt);
        Global::s_pProgressBar.reset();
    }

    // A top-level bar has no layout to widen it; its text must fit all the same.
    void topLevelBarHoldsItsText()
    {
        BIMProgressBar bar;
        bar.SetDescription(L"Opening Riverside Clinic\u2026");
        bar.UpdateValue(42);
        bar.SetVisible(true);
        QStyleOptionProgressBar option;
        option.initFrom(&bar);
        const QRect label = bar.style()->subElementRect(QStyle::SE_ProgressBarLabel, &option, &bar);
        QVERIFY2(bar.fontMetrics().horizontalAdvance(bar.text()) <= label.width(),
            qPrintable(QString::number(label.width())));
    }
};

QTEST_MAIN(TestProgressBar)
#include "tst_progressbar.moc"
