#include "CellValue.h"

#include <QByteArray>
#include <QLocale>

#include <cmath>
#include <limits>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Decimal digits with an optional sign; the magnitude up to 2^64-1.
bool parseDecimal(std::string_view text, bool& negative, quint64& magnitude)
{
    text = trimmed(text);
    negative = false;
    magnitude = 0;
    if (text.empty())
        return true; // an empty text stands for 0
    if (text.front() == '-' || text.front() == '+') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        const auto digit = static_cast<quint64>(c - '0');
        if (magnitude > (std::numeric_limits<quint64>::max() - digit) / 10)
            return false;
        magnitude = magnitude * 10 + digit;
    }
    return true;
}

bool integralDouble(double value, double low, double highExclusive)
{
    return std::isfinite(value) && std::trunc(value) == value && value >= low
        && value < highExclusive;
}

} // namespace

bool convertToInt64(const CellValue& cell, qint64& out, bool keepUnsignedBits)
{
    constexpr auto maxSigned = static_cast<quint64>(std::numeric_limits<qint64>::max());
    switch (cell.kind) {
    case CellValue::Integer:
        out = cell.integer;
        return true;
    case CellValue::Unsigned:
        if (cell.unsignedInteger > maxSigned && !keepUnsignedBits)
            return false;
        out = static_cast<qint64>(cell.unsignedInteger);
        return true;
    case CellValue::Real:
        if (!integralDouble(cell.real, -9223372036854775808.0, 9223372036854775808.0))
            return false;
        out = static_cast<qint64>(cell.real);
        return true;
    case CellValue::Text: {
        bool negative = false;
        quint64 magnitude = 0;
        if (!parseDecimal(cell.text, negative, magnitude))
            return false;
        if (negative) {
            if (magnitude > maxSigned + 1)
                return false;
            out = static_cast<qint64>(0 - magnitude);
            return true;
        }
        return convertToInt64(CellValue::fromUnsigned(magnitude), out, keepUnsignedBits);
    }
    }
    return false;
}

bool convertToInt32(const CellValue& cell, qint32& out)
{
    qint64 wide = 0;
    if (!convertToInt64(cell, wide, false))
        return false;
    if (wide < std::numeric_limits<qint32>::min() || wide > std::numeric_limits<qint32>::max())
        return false;
    out = static_cast<qint32>(wide);
    return true;
}

bool convertToBoolean(const CellValue& cell, qint32& out)
{
    if (cell.kind == CellValue::Text) {
        const std::string_view text = trimmed(cell.text);
        if (text == "true") {
            out = 1;
            return true;
        }
        if (text == "false") {
            out = 0;
            return true;
        }
    }
    qint32 value = 0;
    if (!convertToInt32(cell, value) || (value != 0 && value != 1))
        return false;
    out = value;
    return true;
}

bool convertToUInt64(const CellValue& cell, quint64& out)
{
    switch (cell.kind) {
    case CellValue::Integer:
        if (cell.integer < 0)
            return false;
        out = static_cast<quint64>(cell.integer);
        return true;
    case CellValue::Unsigned:
        out = cell.unsignedInteger;
        return true;
    case CellValue::Real:
        if (!integralDouble(cell.real, 0.0, 18446744073709551616.0))
            return false;
        out = static_cast<quint64>(cell.real);
        return true;
    case CellValue::Text: {
        bool negative = false;
        quint64 magnitude = 0;
        if (!parseDecimal(cell.text, negative, magnitude) || (negative && magnitude != 0))
            return false;
        out = magnitude;
        return true;
    }
    }
    return false;
}

bool convertToDouble(const CellValue& cell, double& out)
{
    switch (cell.kind) {
    case CellValue::Integer:
        out = static_cast<double>(cell.integer);
        return true;
    case CellValue::Unsigned:
        out = static_cast<double>(cell.unsignedInteger);
        return true;
    case CellValue::Real:
        out = cell.real;
        return true;
    case CellValue::Text: {
        const std::string_view text = trimmed(cell.text);
        if (text.empty()) {
            out = 0;
            return true;
        }
        bool ok = false;
        const double value
            = QByteArray::fromRawData(text.data(), static_cast<int>(text.size())).toDouble(&ok);
        if (!ok)
            return false;
        out = value;
        return true;
    }
    }
    return false;
}

std::string convertToText(const CellValue& cell)
{
    switch (cell.kind) {
    case CellValue::Integer:
        return std::to_string(cell.integer);
    case CellValue::Unsigned:
        return std::to_string(cell.unsignedInteger);
    case CellValue::Real:
        return QString::number(cell.real, 'g', QLocale::FloatingPointShortest).toStdString();
    case CellValue::Text:
        return std::string(cell.text);
    }
    return {};
}

QString describeCell(const CellValue& cell)
{
    const std::string text = convertToText(cell);
    QString shown = QString::fromUtf8(text.data(), static_cast<int>(text.size()));
    if (shown.size() > 40)
        shown = shown.left(40) + QStringLiteral("...");
    return cell.kind == CellValue::Text ? QStringLiteral("\"%1\"").arg(shown) : shown;
}
