#include <controls/ProgressBar.h>

#include <QImage>
#include <QPixmap>
#include <QtTest>

class TestProgressBar : public QObject
{
    Q_OBJECT

private slots:
    void constructorSetsRange()
    {
        for (const auto& [minimum, maximum] : { std::pair { 0, 100 }, { 5, 20 }, { 0, 0 } }) {
            ProgressBar bar(nullptr, minimum, maximum);
            QCOMPARE(bar.minimum(), minimum);
            QCOMPARE(bar.maximum(), maximum);
            QCOMPARE(bar.value(), minimum);
            QVERIFY(bar.prompt().isEmpty());
            QVERIFY(bar.isHidden());
        }
    }

    void showImmediatelyPaintsBeforeReturning()
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

    void progressIsClampedAndFollowsThePrompt_data()
    {
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<int>("expectedMinimum");
        QTest::addColumn<int>("expectedValue");
        QTest::addColumn<QString>("expectedText");
        auto row = [](const char* name, int maximum, int value, const char* prompt, int minimum,
                       int expectedValue, const char* text) {
            QTest::newRow(name) << maximum << value << QString::fromUtf8(prompt) << minimum
                                << expectedValue << QString::fromUtf8(text);
        };
        row("inside, no prompt", 100, 42, "", 0, 42, "42%");
        row("inside, prompt first", 100, 42, "Copying", 0, 42, "Copying  42%");
        row("at maximum", 100, 100, "", 0, 100, "100%");
        row("above maximum", 100, 130, "", 0, 100, "100%");
        row("below minimum", 100, -7, "", 0, 0, "0%");
        row("raised maximum, non-ASCII", 1000, 750, "正在打开项目", 0, 750, "正在打开项目  75%");
        row("negative maximum", -10, 3, "", -10, -10, "100%");
        row("busy bar", 0, 0, "Waiting", 0, 0, "Waiting");
    }

    void progressIsClampedAndFollowsThePrompt()
    {
        QFETCH(int, maximum);
        QFETCH(int, value);
        QFETCH(QString, prompt);
        QFETCH(int, expectedMinimum);
        QFETCH(int, expectedValue);
        QFETCH(QString, expectedText);
        ProgressBar bar(nullptr, 0, 100);
        bar.UpdatePrompt("earlier prompt");
        bar.SetMaxRange(maximum);
        QCOMPARE(bar.maximum(), maximum);
        QCOMPARE(bar.minimum(), expectedMinimum);
        bar.UpdateProgress(value);
        QCOMPARE(bar.value(), expectedValue);
        bar.UpdatePrompt(prompt);
        QCOMPARE(bar.prompt(), prompt);
        QCOMPARE(bar.text(), expectedText);
    }

    void paintsValueAndPrompt()
    {
        ProgressBar bar(nullptr, 0, 100);
        bar.resize(320, 28);
        // The pixels a change alters in the rendered bar.
        auto pixelsChangedBy = [&bar](auto change) {
            const QImage before = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
            change();
            const QImage after = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
            int count = 0;
            for (int y = 0; y < before.height(); ++y)
                for (int x = 0; x < before.width(); ++x)
                    count += before.pixel(x, y) != after.pixel(x, y);
            return count;
        };
        // Without text, only the filled part can tell two values apart.
        bar.setTextVisible(false);
        bar.UpdateProgress(10);
        QVERIFY2(pixelsChangedBy([&] { bar.UpdateProgress(90); }) > 100, "the value is not drawn");
        bar.setTextVisible(true);
        bar.UpdateProgress(0);
        QVERIFY2(pixelsChangedBy([&] { bar.UpdatePrompt("Loading model"); }) > 20,
            "the prompt is not drawn");
        QVERIFY2(pixelsChangedBy([&] { bar.UpdatePrompt("Writing tables"); }) > 20,
            "a new prompt is not drawn");
    }
};

QTEST_MAIN(TestProgressBar)
#include "tst_progressbar.moc"
