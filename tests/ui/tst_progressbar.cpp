#include <controls/ProgressBar.h>

#include <QImage>
#include <QPixmap>
#include <QtTest>

namespace {

// Counts the pixels that differ between two renderings of the same size.
int differingPixels(const QImage& first, const QImage& second)
{
    if (first.size() != second.size())
        return -1;
    int count = 0;
    for (int y = 0; y < first.height(); ++y)
        for (int x = 0; x < first.width(); ++x)
            if (first.pixel(x, y) != second.pixel(x, y))
                ++count;
    return count;
}

QImage render(ProgressBar& bar)
{
    return bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestProgressBar : public QObject
{
    Q_OBJECT

private slots:
    void constructorSetsRange_data();
    void constructorSetsRange();
    void showImmediatelyPaintsBeforeReturning();
    void progressIsClampedIntoRange_data();
    void progressIsClampedIntoRange();
    void promptPrecedesPercentage_data();
    void promptPrecedesPercentage();
    void paintsValueAndPrompt();
};

void TestProgressBar::constructorSetsRange_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::newRow("percent") << 0 << 100;
    QTest::newRow("offset") << 5 << 20;
    QTest::newRow("busy") << 0 << 0;
}

void TestProgressBar::constructorSetsRange()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    ProgressBar bar(nullptr, minimum, maximum);
    QCOMPARE(bar.minimum(), minimum);
    QCOMPARE(bar.maximum(), maximum);
    QCOMPARE(bar.value(), minimum);
    QVERIFY(bar.prompt().isEmpty());
    QVERIFY(bar.isHidden());
}

void TestProgressBar::showImmediatelyPaintsBeforeReturning()
{
    ProgressBar bar(nullptr, 0, 100);
    bar.resize(200, 24);

    bar.ShowImmediately();
    QVERIFY(bar.isVisible());
    QVERIFY(bar.windowHandle()->isExposed());
    const int paintsOnFirstShow = bar.immediatePaintCount();
    QVERIFY(paintsOnFirstShow > 0);

    // Already visible: still painted at once, so the caller sees it current.
    bar.ShowImmediately();
    QCOMPARE(bar.immediatePaintCount(), paintsOnFirstShow + 1);
}

void TestProgressBar::progressIsClampedIntoRange_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expectedMinimum");
    QTest::addColumn<int>("expectedValue");
    QTest::newRow("inside") << 100 << 40 << 0 << 40;
    QTest::newRow("at maximum") << 100 << 100 << 0 << 100;
    QTest::newRow("above maximum") << 100 << 130 << 0 << 100;
    QTest::newRow("below minimum") << 100 << -7 << 0 << 0;
    QTest::newRow("raised maximum") << 1000 << 750 << 0 << 750;
    QTest::newRow("negative maximum") << -10 << 3 << -10 << -10;
}

void TestProgressBar::progressIsClampedIntoRange()
{
    QFETCH(int, maximum);
    QFETCH(int, value);
    QFETCH(int, expectedMinimum);
    QFETCH(int, expectedValue);
    ProgressBar bar(nullptr, 0, 100);
    bar.SetMaxRange(maximum);
    QCOMPARE(bar.maximum(), maximum);
    QCOMPARE(bar.minimum(), expectedMinimum);
    bar.UpdateProgress(value);
    QCOMPARE(bar.value(), expectedValue);
}

void TestProgressBar::promptPrecedesPercentage_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("expectedText");
    QTest::newRow("no prompt") << 100 << 42 << QString() << QStringLiteral("42%");
    QTest::newRow("prompt") << 100 << 42 << QStringLiteral("Copying")
                            << QStringLiteral("Copying  42%");
    QTest::newRow("non-ASCII prompt")
        << 200 << 50 << QString::fromUtf8("正在打开项目") << QString::fromUtf8("正在打开项目  25%");
    QTest::newRow("busy bar") << 0 << 0 << QStringLiteral("Waiting") << QStringLiteral("Waiting");
}

void TestProgressBar::promptPrecedesPercentage()
{
    QFETCH(int, maximum);
    QFETCH(int, value);
    QFETCH(QString, prompt);
    QFETCH(QString, expectedText);
    ProgressBar bar(nullptr, 0, 100);
    bar.UpdatePrompt(QStringLiteral("earlier prompt"));
    bar.SetMaxRange(maximum);
    bar.UpdateProgress(value);
    bar.UpdatePrompt(prompt);
    QCOMPARE(bar.prompt(), prompt);
    QCOMPARE(bar.text(), expectedText);
}

void TestProgressBar::paintsValueAndPrompt()
{
    ProgressBar bar(nullptr, 0, 100);
    bar.resize(320, 28);

    // Without text, only the filled part can tell two values apart.
    bar.setTextVisible(false);
    bar.UpdateProgress(10);
    const QImage lowValue = render(bar);
    bar.UpdateProgress(90);
    const QImage highValue = render(bar);
    QVERIFY2(differingPixels(lowValue, highValue) > 100, "the value is not drawn");

    bar.setTextVisible(true);
    bar.UpdateProgress(0);
    bar.UpdatePrompt(QString());
    const QImage noPrompt = render(bar);
    bar.UpdatePrompt(QStringLiteral("Loading model"));
    const QImage firstPrompt = render(bar);
    bar.UpdatePrompt(QStringLiteral("Writing tables"));
    const QImage secondPrompt = render(bar);
    QVERIFY2(differingPixels(noPrompt, firstPrompt) > 20, "the prompt is not drawn");
    QVERIFY2(differingPixels(firstPrompt, secondPrompt) > 20, "a new prompt is not drawn");
}

QTEST_MAIN(TestProgressBar)
#include "tst_progressbar.moc"
