#include "WindowProgress.h"

#include "HostError.h"

#include <bimcore/core/Global.h>
#include <bimcore/ui/BIMProgressBar.h>

#include <QFileInfo>
#include <QImageWriter>
#include <QPixmap>
#include <QSaveFile>

#include <cmath>
#include <string>

namespace {

void describe(IProgressCtrl& control, const QString& text)
{
    const std::wstring wide = text.toStdWString();
    control.SetDescription(wide.c_str());
}

} // namespace

WindowProgress::WindowProgress(const QString& title, const QString& firstText)
{
    Global::s_pProgressBar = std::make_shared<BIMProgressBar>();
    Global::s_pProgressBar->setWindowTitle(title);
    Global::s_pProgressBar->setMinimumWidth(520);
    IProgressCtrl& bar = control();
    bar.SetMaximum(100);
    bar.UpdateValue(0);
    describe(bar, firstText);
    bar.SetVisible(true);
}

WindowProgress::~WindowProgress()
{
    // The bar is a widget: it must go while the application object lives.
    control().SetVisible(false);
    Global::s_pProgressBar.reset();
}

IProgressCtrl& WindowProgress::control() const
{
    return *Global::s_pProgressBar;
}

void WindowProgress::show(const QString& text, double percent)
{
    IProgressCtrl& bar = control();
    bar.UpdateValue(std::isfinite(percent) ? int(std::lround(percent)) : 0);
    describe(bar, text);
}

void WindowProgress::finish() { }

void WindowProgress::saveScreenshot(const QString& file) const
{
    QByteArray format = QFileInfo(file).suffix().toLower().toLatin1();
    if (format.isEmpty())
        format = "png";
    if (!QImageWriter::supportedImageFormats().contains(format))
        throw HostError(QStringLiteral("cannot save a screenshot as \"%1\": no image format %2")
                            .arg(file, QString::fromLatin1(format)));
    const QPixmap image = Global::s_pProgressBar->grab();
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || !image.save(&out, format.constData()) || !out.commit())
        throw HostError(
            QStringLiteral("cannot save the screenshot \"%1\": %2").arg(file, out.errorString()));
}
