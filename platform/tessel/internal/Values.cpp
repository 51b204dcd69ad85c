#include "Values.h"

#include "TesselObjects.h"

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

// A whole number as its sign and magnitude; false for anything else.
bool wholeNumber(const CellValue& cell, bool& negative, quint64& magnitude)
{
    switch (cell.kind) {
    case CellValue::Integer:
        negative = cell.integer < 0;
        magnitude = negative ? 0 - static_cast<quint64>(cell.integer)
                             : static_cast<quint64>(cell.integer);
        return true;
    case CellValue::Unsigned:
        negative = false;
        magnitude = cell.unsignedInteger;
        return true;
    case CellValue::Real:
        if (!std::isfinite(cell.real) || std::trunc(cell.real) != cell.real
            || std::fabs(cell.real) >= 18446744073709551616.0)
            return false;
        negative = cell.real < 0;
        magnitude = static_cast<quint64>(std::fabs(cell.real));
        return true;
    case CellValue::Text:
        return parseDecimal(cell.text, negative, magnitude);
    }
    return false;
}

} // namespace

bool convertToInt64(const CellValue& cell, qint64& out, bool keepUnsignedBits)
{
    constexpr auto maxSigned = static_cast<quint64>(std::numeric_limits<qint64>::max());
    bool negative = false;
    quint64 magnitude = 0;
    if (!wholeNumber(cell, negative, magnitude))
        return false;
    // A double that large is no identifier: its low bits are lost already.
    if (negative ? magnitude > maxSigned + 1
                 : magnitude > maxSigned && (!keepUnsignedBits || cell.kind == CellValue::Real))
        return false;
    out = static_cast<qint64>(negative ? 0 - magnitude : magnitude);
    return true;
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
    bool negative = false;
    quint64 magnitude = 0;
    if (!wholeNumber(cell, negative, magnitude) || (negative && magnitude != 0))
        return false;
    out = magnitude;
    return true;
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

Storage storageOf(TesselDataType type)
{
    switch (type) {
    case tdtInt64:
    case tdtDateTime:
        return Storage::Int64;
    case tdtDouble:
        return Storage::Double;
    case tdtString:
    case tdtGuid:
        return Storage::Text;
    case tdtBoolean:
    case tdtInt32:
    case tdtUnknown:
        break;
    }
    return Storage::Int32;
}

bool isKnownDataType(int type)
{
    switch (type) {
    case tdtBoolean:
    case tdtInt32:
    case tdtDouble:
    case tdtString:
    case tdtDateTime:
    case tdtGuid:
    case tdtInt64:
        return true;
    default:
        return false;
    }
}

CellValue FieldColumn::cell(size_t row) const
{
    switch (storage) {
    case Storage::Int32:
        return CellValue::fromInteger(int32s[row]);
    case Storage::Int64:
        return CellValue::fromInteger(int64s[row]);
    case Storage::Double:
        return CellValue::fromReal(doubles[row]);
    case Storage::Text:
        return CellValue::fromText(texts.view(row));
    }
    return {};
}

bool FieldColumn::store(size_t row, TesselDataType type, const CellValue& value)
{
    // The conversions write only what they can represent.
    switch (storage) {
    case Storage::Int32:
        return type == tdtBoolean ? convertToBoolean(value, int32s[row])
                                  : convertToInt32(value, int32s[row]);
    case Storage::Int64:
        return convertToInt64(value, int64s[row], type == tdtInt64);
    case Storage::Double:
        return convertToDouble(value, doubles[row]);
    case Storage::Text:
        if (value.kind == CellValue::Text)
            texts.set(row, value.text);
        else
            texts.set(row, convertToText(value));
        return true;
    }
    return false;
}

namespace {
constexpr size_t maxArenaBytes = std::numeric_limits<quint32>::max();
}

void TextColumn::reserve(size_t rows)
{
    m_offsets.reserve(rows);
    m_lengths.reserve(rows);
}

void TextColumn::reserveBytes(size_t bytes)
{
    m_bytes.reserve(std::min(bytes, maxArenaBytes));
}

quint32 TextColumn::store(const char* utf8, size_t length)
{
    if (m_bytes.size() + length > maxArenaBytes) {
        compact();
        if (m_bytes.size() + length > maxArenaBytes)
            raiseError(QStringLiteral("the texts of one field exceed 4 GiB"));
    }
    const auto offset = static_cast<quint32>(m_bytes.size());
    // An empty value may come without bytes (a null pointer).
    if (length != 0)
        m_bytes.append(utf8, length);
    return offset;
}

void TextColumn::append(const char* utf8, size_t length)
{
    const quint32 offset = store(utf8, length);
    m_offsets.push_back(offset);
    m_lengths.push_back(static_cast<quint32>(length));
}

void TextColumn::set(size_t row, std::string_view utf8)
{
    if (utf8.size() <= m_lengths[row]) {
        // Fits in place: overwrite and give the tail up.
        std::copy(utf8.begin(), utf8.end(), m_bytes.begin() + m_offsets[row]);
        m_garbage += m_lengths[row] - utf8.size();
        m_lengths[row] = static_cast<quint32>(utf8.size());
    } else {
        // The copy keeps the bytes valid if utf8 points into the arena.
        const std::string copy(utf8);
        m_garbage += m_lengths[row];
        m_lengths[row] = 0;
        m_offsets[row] = store(copy.data(), copy.size());
        m_lengths[row] = static_cast<quint32>(copy.size());
    }
    if (m_garbage > 4096 && m_garbage * 2 > m_bytes.size())
        compact();
}

void TextColumn::pop_back()
{
    if (m_offsets.empty())
        return;
    if (size_t(m_offsets.back()) + m_lengths.back() == m_bytes.size())
        m_bytes.resize(m_offsets.back());
    else
        m_garbage += m_lengths.back();
    m_offsets.pop_back();
    m_lengths.pop_back();
}

void TextColumn::compact()
{
    if (m_garbage == 0)
        return;
    std::string packed;
    packed.reserve(m_bytes.size() - m_garbage);
    for (size_t row = 0; row < m_offsets.size(); ++row) {
        const std::string_view text = view(row);
        m_offsets[row] = static_cast<quint32>(packed.size());
        packed.append(text.data(), text.size());
    }
    m_bytes.swap(packed);
    m_garbage = 0;
}
