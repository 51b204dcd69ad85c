#include <core/Global.h>
#include <ui/BIMProgressBar.h>

#include <QPointer>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(const wchar_t*)

class TestBIMProgressBar : public QObject
{
    Q_OBJECT

private slots:
    void showOfHiddenBarPaintsAtOnce_data()
    {
        QTest::addColumn<bool>("parented");
        QTest::newRow("top-level") << false;
        QTest::newRow("child of a shown window") << true;
    }

    void showOfHiddenBarPaintsAtOnce()
    {
        QFETCH(bool, parented);
        auto window = std::make_unique<QWidget>();
        QPointer<BIMProgressBar> bar = new BIMProgressBar(parented ? window.get() : nullptr);
        std::unique_ptr<BIMProgressBar> topLevel(parented ? nullptr : bar.data());
        QCOMPARE(bar->isWindow(), !parented);
        QCOMPARE(bar->metaObject(), &ProgressBar::staticMetaObject);
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        QVERIFY(!bar->isVisible());
        if (parented) {
            window->show();
            bar->hide();
        }
        // No event processing in between: the paint must come from ShowImmediately.
        bar->SetVisible(true);
        QVERIFY(bar->isVisible());
        const int paintsOnFirstShow = bar->immediatePaintCount();
        QVERIFY(paintsOnFirstShow > 0);
        bar->SetVisible(false);
        QVERIFY(bar->isHidden());
        bar->SetVisible(true);
        QVERIFY(bar->immediatePaintCount() > paintsOnFirstShow);
        window.reset();
        QCOMPARE(bar.isNull(), parented);
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
        row("default range, ASCII", 100, 37, L"Downloading", "Downloading");
        row("beyond the initial 100, Chinese", 5000, 4321, L"正在更新项目…", "正在更新项目…");
        row("small range at its end, outside the basic plane", 3, 3, L"model \U0001F3D7 ok",
            "model \xF0\x9F\x8F\x97 ok");
        row("busy, stops at NUL", 0, 0, L"first\0second", "first");
        row("empty", 100, 0, L"", "");
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
        QVERIFY(bar->text().startsWith(expectedPrompt));
        QVERIFY(bar->immediatePaintCount() > 0);
        control.SetVisible(false);
        QVERIFY(bar->isHidden());
        Global::s_pProgressBar.reset();
        QVERIFY(bar.isNull());
    }
};

QTEST_MAIN(TestBIMProgressBar)
#include "tst_bimprogressbar.moc"
