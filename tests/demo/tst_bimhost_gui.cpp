// The demo host's progress window: opened offscreen, driven through the
// library's progress bar, and saved as a screenshot in the build folder.
#include "HostProcess.h"

#include <QImage>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

class BimHostGuiTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void screenshotOfTheProgressWindow_data()
    {
        QTest::addColumn<bool>("known");
        QTest::newRow("png in the build folder") << true;
        QTest::newRow("unknown format") << false;
    }

    void screenshotOfTheProgressWindow()
    {
        QFETCH(bool, known);
        QTemporaryDir work;
        const QString screenshot
            = known ? QStringLiteral(SCREENSHOT_PATH) : work.filePath("shot.unknownformat");
        QFile::remove(screenshot); // a stale picture must not pass
        QVERIFY(HostProcess::copySampleStore("store-r1", work.filePath("store")));
        HostProcess host(work.filePath("store"));
        QStringList arguments = HostProcess::projectArguments(
            "open", work.filePath(QStringLiteral("projects/" SAMPLE_KEY)));
        arguments << "--gui"
                  << "--screenshot=" + screenshot;
        const HostProcess::Result result = host.run(QStringLiteral(BIMHOST_PATH), arguments);
        QVERIFY2(result.finished, qPrintable(result.err));
        if (!known) {
            QCOMPARE(result.exitCode, 1);
            QVERIFY2(result.err.contains("no image format unknownformat"), qPrintable(result.err));
            QVERIFY(!QFileInfo::exists(screenshot));
            return;
        }
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        // The window took the progress; the terminal only gets the summary.
        QVERIFY2(!result.out.contains("%  "), qPrintable(result.out));
        QVERIFY2(result.out.contains("changes        none"), qPrintable(result.out));

        const QImage image(screenshot);
        QVERIFY2(image.width() >= 300 && image.height() >= 10, qPrintable(screenshot));
        // A bar with its text drawn, not a blank or single-coloured window.
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() > 8, qPrintable(QString::number(colours.size())));
    }
};

QTEST_GUILESS_MAIN(BimHostGuiTest)
#include "tst_bimhost_gui.moc"
