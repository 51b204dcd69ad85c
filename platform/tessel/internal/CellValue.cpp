#include "CellValue.h"
#include <QByteArray>
#include <QLocale>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace {
constexpr auto maxSigned = quint64(std::numeric_limits<qint64>::max());

// The value as a sign and a magnitude, when it is a whole number. Texts are an
// optional sign and decimal digits, the magnitude up to 2^64-1; an empty text is 0.
bool wholeNumber(const CellValue& value, bool& negative, quint64& magnitude)
{
    negative = false;
    magnitude = 0;
    if (const auto* integer = std::get_if<qint64>(&value)) {
        negative = *integer < 0;
        magnitude = negative ? 0 - quint64(*integer) : quint64(*integer);
        return true;
    }
    if (const auto* real = std::get_if<double>(&value)) {
        // Doubles from 2^63 on have lost the low bits an identifier needs.
        if (!std::isfinite(*real) || std::trunc(*real) != *real || std::fabs(*real) >= 0x1p63)
            return false;
        negative = *real < 0;
        magnitude = quint64(std::fabs(*real));
        return true;
    }
    const QByteArray bytes = std::get<QString>(value).trimmed().toLatin1();
    std::string_view digits(bytes.constData(), size_t(bytes.size()));
    if (digits.empty())
        return true;
    if (digits.front() == '-' || digits.front() == '+') {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, magnitude);
    return error == std::errc() && stop == end;
}
} // namespace

std::optional<qint64> toInt64(const CellValue& value, bool keepUnsignedBits)
{
    bool negative = false;
    quint64 magnitude = 0;
    if (!wholeNumber(value, negative, magnitude))
        return std::nullopt;
    if (negative ? magnitude > maxSigned + 1 : magnitude > maxSigned && !keepUnsignedBits)
        return std::nullopt;
    return qint64(negative ? 0 - magnitude : magnitude);
}

std::optional<quint64> toUInt64(const CellValue& value)
{
    bool negative = false;
    quint64 magnitude = 0;
    if (!wholeNumber(value, negative, magnitude) || (negative && magnitude != 0))
        return std::nullopt;
    return magnitude;
}

std::optional<double> toDouble(const CellValue& value)
{
    if (const auto* integer = std::get_if<qint64>(&value))
        return double(*integer);
    if (const auto* real = std::get_if<double>(&value))
        return *real;
    const QString text = std::get<QString>(value).trimmed();
    bool ok = text.isEmpty();
    const double number = ok ? 0 : text.toDouble(&ok);
    return ok ? std::optional<double>(number) : std::nullopt;
}

QString toText(const CellValue& value)
{
    if (const auto* integer = std::get_if<qint64>(&value))
        return QString::number(*integer);
    if (const auto* real = std::get_if<double>(&value))
        return QString::number(*real, 'g', QLocale::FloatingPointShortest);
    return std::get<QString>(value);
}

QString describe(const CellValue& value)
{
    QString shown = toText(value);
    if (shown.size() > 40)
        shown = shown.left(40) + QStringLiteral("...");
    return std::holds_alternative<QString>(value) ? QLatin1Char('"') + shown + QLatin1Char('"')
                                                  : shown;
}

std::optional<CellValue> storedFor(const CellValue& value, TesselDataType type)
{
    std::optional<qint64> integer;
    switch (type) {
    case tdtBoolean:
    case tdtInt32:
        integer = toInt64(value);
        if (integer && (type == tdtInt32 ? *integer == qint32(*integer) : quint64(*integer) <= 1))
            return CellValue(*integer);
        return std::nullopt;
    case tdtInt64:
    case tdtDateTime:
        integer = toInt64(value, type == tdtInt64);
        return integer ? CellValue(*integer) : std::optional<CellValue>();
    case tdtDouble: {
        const std::optional<double> real = toDouble(value);
        return real ? CellValue(*real) : std::optional<CellValue>();
    }
    case tdtString:
    case tdtGuid:
        return CellValue(toText(value));
    case tdtUnknown:
        break;
    }
    return std::nullopt;
}

CellValue emptyValueOf(TesselDataType type)
{
    if (type == tdtDouble)
        return 0.0;
    if (type == tdtString || type == tdtGuid)
        return QString();
    return qint64(0);
}

bool isKnownDataType(int type)
{
    return (type >= tdtBoolean && type <= tdtGuid) || type == tdtInt64;
}
