#include "FileName.h"

#include "DownloadFolder.h"

#include <QRegularExpression>
#include <QStringList>

#include <cctype>

namespace network_detail {

const QString kBookkeepingFolder = QStringLiteral(".bimcore-downloads");

namespace {

// The parameters of a header value split at its semicolons, those within
// quotes left alone: a parameter spelt inside another's quoted value is none.
QStringList parametersOf(const QString& value)
{
    QStringList parameters { QString() };
    bool quoted = false;
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char(';') && !quoted) {
            parameters.append(QString());
            continue;
        }
        parameters.last() += c;
        if (quoted && c == QLatin1Char('\\') && i + 1 < value.size())
            parameters.last() += value.at(++i);
        else if (c == QLatin1Char('"'))
            quoted = !quoted;
    }
    return parameters;
}

bool isHexDigit(QChar c)
{
    return c.unicode() < 0x80 && std::isxdigit(c.unicode());
}

// A value written as charset'language'percent-encoded bytes, in UTF-8 or
// ISO-8859-1; none when it is anything else.
std::optional<QString> decodedExtendedValue(const QString& value)
{
    static const QString kPlain = QStringLiteral("!#$&+-.^_`|~");
    const QStringList fields = value.split(QLatin1Char('\''));
    if (fields.size() != 3)
        return std::nullopt;
    const QString& text = fields.at(2);
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('%')) {
            if (i + 2 >= text.size() || !isHexDigit(text.at(i + 1)) || !isHexDigit(text.at(i + 2)))
                return std::nullopt;
            i += 2;
        } else if (!(c.unicode() < 0x80 && std::isalnum(c.unicode())) && !kPlain.contains(c)) {
            return std::nullopt;
        }
    }
    const QByteArray bytes = QByteArray::fromPercentEncoding(text.toLatin1());
    const QString charset = fields.at(0);
    if (charset.compare(QLatin1String("ISO-8859-1"), Qt::CaseInsensitive) == 0)
        return QString::fromLatin1(bytes);
    if (charset.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    // Bytes that are no UTF-8 come back other than they went in.
    const QString decoded = QString::fromUtf8(bytes);
    if (decoded.toUtf8() != bytes)
        return std::nullopt;
    return decoded;
}

} // namespace

std::optional<QString> announcedName(const QString& contentDisposition)
{
    const QStringList parameters = parametersOf(contentDisposition);
    for (int i = 1; i < parameters.size(); ++i) {
        const QString& parameter = parameters.at(i);
        const int equals = parameter.indexOf(QLatin1Char('='));
        if (equals > 0
            && parameter.left(equals).trimmed().compare(
                   QLatin1String("filename*"), Qt::CaseInsensitive)
                == 0)
            return decodedExtendedValue(parameter.mid(equals + 1).trimmed());
    }
    static const QString kKey = QStringLiteral("filename=");
    const int at = contentDisposition.indexOf(kKey);
    if (at < 0)
        return QString();
    QString name = contentDisposition.mid(at + kKey.size());
    name.remove(QLatin1Char('"'));
    return name;
}

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
        && lastPart.compare(kBookkeepingFolder, Qt::CaseInsensitive) != 0
        && nameFitsFileSystem(lastPart);
}

} // namespace network_detail
