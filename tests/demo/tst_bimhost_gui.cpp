// The demo host's progress window: opened offscreen, driven through the
// library's progress bar, and saved as a screenshot in the build folder.
#include "HostProcess.h"

#include <QImage>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kKey = QStringLiteral(SAMPLE_KEY);

bool copyStore(const QString& store)
{
    const QString source = QStringLiteral(SAMPLES_DIR "/store-r1/") + kKey + QLatin1Char('/');
    const QString target = store + QLatin1Char('/') + kKey + QLatin1Char('/');
    QDir().mkpath(target);
    return QFile::copy(source + QStringLiteral("KBMProjectTemplate.Tessel"),
               target + QStringLiteral("KBMProjectTemplate.Tessel"))
        && QFile::copy(source + QStringLiteral("KBMProjectTemplate.db"),
            target + QStringLiteral("KBMProjectTemplate.db"));
}

QStringList guiArguments(const QString& folder, const QString& screenshot)
{
    return { QStringLiteral("open"), QStringLiteral("--gui"),
        QStringLiteral("--screenshot=") + screenshot, QStringLiteral("--userID=u-1"),
        QStringLiteral("--projectId=" SAMPLE_ID), QStringLiteral("--projectKey=") + kKey,
        QStringLiteral("--projectPath=") + folder };
}

} // namespace

class BimHostGuiTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void screenshotOfTheProgressWindow();
    void screenshotInAnUnknownFormat();
};

void BimHostGuiTest::screenshotOfTheProgressWindow()
{
    const QString screenshot = QStringLiteral(SCREENSHOT_PATH);
    QFile::remove(screenshot); // a stale picture must not pass
    QTemporaryDir work;
    QVERIFY(copyStore(work.filePath(QStringLiteral("store"))));
    HostProcess host(work.filePath(QStringLiteral("store")));
    const HostProcess::Result result = host.run(QStringLiteral(BIMHOST_PATH),
        guiArguments(work.filePath(QStringLiteral("projects/")) + kKey, screenshot));
    QVERIFY2(result.finished && result.exitCode == 0, qPrintable(result.err));
    // The window took the progress; the terminal only gets the summary.
    QVERIFY2(!result.out.contains(QLatin1String("%  ")), qPrintable(result.out));
    QVERIFY2(result.out.contains(QLatin1String("changes        none")), qPrintable(result.out));

    QImage image(screenshot);
    QVERIFY2(!image.isNull(), qPrintable(screenshot));
    QVERIFY(image.width() >= 300 && image.height() >= 10);
    // A bar with its text drawn, not a blank or single-coloured window.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    QVERIFY2(colours.size() > 8, qPrintable(QString::number(colours.size())));
}

void BimHostGuiTest::screenshotInAnUnknownFormat()
{
    QTemporaryDir work;
    QVERIFY(copyStore(work.filePath(QStringLiteral("store"))));
    HostProcess host(work.filePath(QStringLiteral("store")));
    const QString screenshot = work.filePath(QStringLiteral("shot.unknownformat"));
    const HostProcess::Result result = host.run(QStringLiteral(BIMHOST_PATH),
        guiArguments(work.filePath(QStringLiteral("projects/")) + kKey, screenshot));
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(QLatin1String("no image format unknownformat")),
        qPrintable(result.err));
    QVERIFY(!QFileInfo::exists(screenshot));
}

QTEST_GUILESS_MAIN(BimHostGuiTest)
#include "tst_bimhost_gui.moc"
