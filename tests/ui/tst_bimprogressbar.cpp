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

    void descriptionReachesPrompt_data()
    {
        QTest::addColumn<const wchar_t*>("text");
        QTest::addColumn<QString>("expectedPrompt");
        auto row = [](const char* name, const wchar_t* text, const char* prompt) {
            QTest::newRow(name) << text << QString::fromUtf8(prompt);
        };
        row("ASCII", L"Downloading", "Downloading");
        row("Chinese", L"正在更新项目…", "正在更新项目…");
        row("outside the basic plane", L"model \U0001F3D7 ok", "model \xF0\x9F\x8F\x97 ok");
        row("stops at NUL", L"first\0second", "first");
        row("empty", L"", "");
        row("null", nullptr, "");
    }

    void descriptionReachesPrompt()
    {
        QFETCH(const wchar_t*, text);
        QFETCH(QString, expectedPrompt);
        BIMProgressBar bar;
        bar.SetDescription(L"stale text");
        bar.SetDescription(text);
        QCOMPARE(bar.prompt(), expectedPrompt);
        QVERIFY(bar.text().startsWith(expectedPrompt));
    }

    void callsThroughInterfaceReachWidget_data()
    {
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        QTest::newRow("default range") << 100 << 37;
        QTest::newRow("beyond the initial 100") << 5000 << 4321;
        QTest::newRow("small range, at its end") << 3 << 3;
        QTest::newRow("busy") << 0 << 0;
    }

    void callsThroughInterfaceReachWidget()
    {
        QFETCH(int, maximum);
        QFETCH(int, value);
        // The global slot owns the bar: releasing it destroys the widget.
        Global::s_pProgressBar = std::make_shared<BIMProgressBar>();
        QPointer<BIMProgressBar> bar = Global::s_pProgressBar.get();
        IProgressCtrl& control = *Global::s_pProgressBar;
        control.SetMaximum(maximum);
        control.UpdateValue(value);
        control.SetDescription(L"Über");
        control.SetVisible(true);
        QCOMPARE(bar->maximum(), maximum);
        QCOMPARE(bar->value(), value);
        QCOMPARE(bar->prompt(), QString::fromUtf8("Über"));
        QVERIFY(bar->immediatePaintCount() > 0);
        control.SetVisible(false);
        QVERIFY(bar->isHidden());
        Global::s_pProgressBar.reset();
        QVERIFY(bar.isNull());
    }
};

QTEST_MAIN(TestBIMProgressBar)
#include "tst_bimprogressbar.moc"
