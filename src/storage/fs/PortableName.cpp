#include "Folder.h"

#include <QRegularExpression>

namespace fs {

namespace {

bool hasRefusedCharacter(const QString& name)
{
    static const QString kWindowsRefuses = QStringLiteral("/\\:*?\"<>|");
    for (const uint code : name.toUcs4()) {
        // C0 and C1 controls, DEL: terminal escapes and NUL among them.
        if (code < 0x20 || (code >= 0x7f && code <= 0x9f)
            || (code < 0x80 && kWindowsRefuses.contains(QChar(code))))
            return true;
        // Bidi controls that show "exe.txt" for "txt.exe", invisible
        // characters that make two names look alike, line breaks.
        switch (QChar::category(code)) {
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return true;
        default:
            break;
        }
    }
    return false;
}

// Windows counts superscript 1, 2 and 3 as digits of COM and LPT devices,
// and a device name stays one with any extension.
bool isWindowsDevice(const QString& name)
{
    static const QRegularExpression kDevice(
        QStringLiteral("^(CON|PRN|AUX|NUL|CONIN\\$|CONOUT\\$|(COM|LPT)[0-9\u00b9\u00b2\u00b3])$"),
        QRegularExpression::CaseInsensitiveOption);
    return kDevice.match(name.left(name.indexOf(QLatin1Char('.'))).trimmed()).hasMatch();
}

} // namespace

bool isPortableName(const QString& name, const QString& entry)
{
    return !name.isEmpty() && !hasRefusedCharacter(name) && !name.endsWith(QLatin1Char('.'))
        && !name.endsWith(QLatin1Char(' ')) && !isWindowsDevice(entry) && nameFits(entry);
}

} // namespace fs
