#include <core/Global.h>
#include <ui/BIMProgressBar.h>

#include <QPointer>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(const wchar_t*)

namespace {

// Data rows need the pointer type, not the array type of a literal.
const wchar_t* wide(const wchar_t* text)
{
    return text;
}

} // namespace

class TestBIMProgressBar : public QObject
{
    Q_OBJECT

private slots:
    void withoutParentIsTopLevel();
    void childIsDestroyedWithParent();
    void showThenHide();
    void showOfHiddenBarPaintsAtOnce_data();
    void showOfHiddenBarPaintsAtOnce();
    void descriptionReachesPrompt_data();
    void descriptionReachesPrompt();
    void valuesPassThroughUnchanged_data();
    void valuesPassThroughUnchanged();
    void callsThroughInterfaceReachWidget();
    void classNameIsThatOfProgressBar();
    void globalSlotReleasesBar();
};

void TestBIMProgressBar::withoutParentIsTopLevel()
{
    BIMProgressBar bar;
    QVERIFY(bar.isWindow());
    QCOMPARE(bar.parentWidget(), nullptr);
    QCOMPARE(bar.minimum(), 0);
    QCOMPARE(bar.maximum(), 100);
    QVERIFY(bar.isHidden());
}

void TestBIMProgressBar::childIsDestroyedWithParent()
{
    auto parent = std::make_unique<QWidget>();
    QPointer<BIMProgressBar> bar = new BIMProgressBar(parent.get());
    QCOMPARE(bar->parentWidget(), parent.get());
    QVERIFY(!bar->isWindow());
    QCOMPARE(bar->maximum(), 100);
    parent.reset();
    QVERIFY(bar.isNull());
}

void TestBIMProgressBar::showThenHide()
{
    BIMProgressBar bar;
    bar.SetVisible(true);
    QVERIFY(bar.isVisible());
    bar.SetVisible(false);
    QVERIFY(bar.isHidden());
    QVERIFY(!bar.isVisible());
}

void TestBIMProgressBar::showOfHiddenBarPaintsAtOnce_data()
{
    QTest::addColumn<bool>("parented");
    QTest::newRow("top-level") << false;
    QTest::newRow("child of a shown window") << true;
}

void TestBIMProgressBar::showOfHiddenBarPaintsAtOnce()
{
    QFETCH(bool, parented);
    QWidget window;
    window.resize(300, 60);
    BIMProgressBar bar(parented ? &window : nullptr);
    bar.resize(200, 24);
    if (parented) {
        window.show();
        bar.hide();
    }
    QVERIFY(!bar.isVisible());

    // No event processing in between: the paint must come from ShowImmediately.
    bar.SetVisible(true);
    QVERIFY(bar.isVisible());
    const int paintsOnFirstShow = bar.immediatePaintCount();
    QVERIFY(paintsOnFirstShow > 0);

    bar.SetVisible(false);
    QVERIFY(!bar.isVisible());
    bar.SetVisible(true);
    QVERIFY(bar.isVisible());
    QVERIFY(bar.immediatePaintCount() > paintsOnFirstShow);
}

void TestBIMProgressBar::descriptionReachesPrompt_data()
{
    QTest::addColumn<const wchar_t*>("text");
    QTest::addColumn<QString>("expectedPrompt");
    QTest::newRow("ASCII") << wide(L"Downloading") << QStringLiteral("Downloading");
    QTest::newRow("Chinese") << wide(L"正在更新项目…") << QString::fromUtf8("正在更新项目…");
    QTest::newRow("outside the basic plane")
        << wide(L"model \U0001F3D7 ok") << QString::fromUtf8("model \xF0\x9F\x8F\x97 ok");
    QTest::newRow("stops at NUL") << wide(L"first\0second") << QStringLiteral("first");
    QTest::newRow("empty") << wide(L"") << QString();
    QTest::newRow("null") << wide(nullptr) << QString();
}

void TestBIMProgressBar::descriptionReachesPrompt()
{
    QFETCH(const wchar_t*, text);
    QFETCH(QString, expectedPrompt);
    BIMProgressBar bar;
    bar.SetDescription(L"stale text");
    bar.SetDescription(text);
    QCOMPARE(bar.prompt(), expectedPrompt);
    QVERIFY(bar.text().startsWith(expectedPrompt));
}

void TestBIMProgressBar::valuesPassThroughUnchanged_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::newRow("default range") << 100 << 37;
    QTest::newRow("beyond the initial 100") << 5000 << 4321;
    QTest::newRow("small range, at its end") << 3 << 3;
    QTest::newRow("busy") << 0 << 0;
}

void TestBIMProgressBar::valuesPassThroughUnchanged()
{
    QFETCH(int, maximum);
    QFETCH(int, value);
    BIMProgressBar bar;
    bar.SetMaximum(maximum);
    bar.UpdateValue(value);
    QCOMPARE(bar.maximum(), maximum);
    QCOMPARE(bar.value(), value);
}

void TestBIMProgressBar::callsThroughInterfaceReachWidget()
{
    BIMProgressBar bar;
    IProgressCtrl& control = bar;
    control.SetMaximum(400);
    control.UpdateValue(300);
    control.SetDescription(L"Über");
    control.SetVisible(true);
    QCOMPARE(bar.maximum(), 400);
    QCOMPARE(bar.value(), 300);
    QCOMPARE(bar.prompt(), QString::fromUtf8("Über"));
    QVERIFY(bar.isVisible());
    QVERIFY(bar.immediatePaintCount() > 0);
    control.SetVisible(false);
    QVERIFY(bar.isHidden());
}

void TestBIMProgressBar::classNameIsThatOfProgressBar()
{
    BIMProgressBar bar;
    QCOMPARE(bar.metaObject()->className(), "ProgressBar");
    QCOMPARE(bar.metaObject(), &ProgressBar::staticMetaObject);
    QWidget* widget = &bar;
    QCOMPARE(qobject_cast<ProgressBar*>(widget), static_cast<ProgressBar*>(&bar));
    QVERIFY(widget->inherits("QProgressBar"));
}

void TestBIMProgressBar::globalSlotReleasesBar()
{
    QVERIFY(!Global::s_pProgressBar);
    Global::s_pProgressBar = std::make_shared<BIMProgressBar>();
    QPointer<BIMProgressBar> bar = Global::s_pProgressBar.get();
    Global::s_pProgressBar->UpdateValue(12);
    QCOMPARE(bar->value(), 12);
    Global::s_pProgressBar.reset();
    QVERIFY(bar.isNull());
}

QTEST_MAIN(TestBIMProgressBar)
#include "tst_bimprogressbar.moc"
