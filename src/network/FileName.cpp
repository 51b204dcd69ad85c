#include "FileName.h"

#include <QRegularExpression>

namespace network_detail {

const QString kBookkeepingFolder = QStringLiteral(".bimcore-downloads");

QString announcedName(const QString& contentDisposition)
{
    static const QString kKey = QStringLiteral("filename=");
    const int at = contentDisposition.indexOf(kKey);
    if (at < 0)
        return {};
    QString name = contentDisposition.mid(at + kKey.size());
    name.remove(QLatin1Char('"'));
    return name;
}

namespace {

bool hasRefusedCharacter(const QString& name)
{
    static const QString kWindowsRefuses = QStringLiteral("/\\:*?\"<>|");
    for (const QChar c : name) {
        const ushort code = c.unicode();
        // C0 and C1 controls, DEL: terminal escapes and NUL among them.
        if (code < 0x20 || (code >= 0x7f && code <= 0x9f) || kWindowsRefuses.contains(c))
            return true;
    }
    return false;
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 name devices on
// Windows, with any extension; so do COM and LPT followed by a superscript
// 1, 2 or 3, which Windows counts as digits.
bool isWindowsDevice(const QString& name)
{
    static const QRegularExpression kDevice(
        QStringLiteral("^(CON|PRN|AUX|NUL|CONIN\\$|CONOUT\\$|(COM|LPT)[0-9\u00b9\u00b2\u00b3])$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString base = name.left(name.indexOf(QLatin1Char('.'))).trimmed();
    return kDevice.match(base).hasMatch();
}

} // namespace

bool acceptableName(const QString& name, const QString& lastPart)
{
    return !name.isEmpty() && !hasRefusedCharacter(name) && !name.endsWith(QLatin1Char('.'))
        && !name.endsWith(QLatin1Char(' ')) && !isWindowsDevice(lastPart)
        && lastPart.compare(kBookkeepingFolder, Qt::CaseInsensitive) != 0;
}

} // namespace network_detail
