#include "Values.h"

#include "TesselObjects.h"

#include <QByteArray>
#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
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
    // A decimal cell holds its number; only its text form differs.
    case CellValue::Decimal:
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
    case CellValue::Decimal:
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
    case CellValue::Decimal:
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
    const bool quoted = cell.kind == CellValue::Text || cell.kind == CellValue::Decimal;
    return quoted ? QStringLiteral("\"%1\"").arg(shown) : shown;
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
        return CellValue::fromInteger(int64At(row));
    case Storage::Double:
        return CellValue::fromReal(doubles[row]);
    case Storage::Text:
        return texts.cell(row);
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
        ownValues();
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

void FieldColumn::takeIdentifiers()
{
    // Room for as many records as the table has room for.
    std::vector<qint64> values;
    values.reserve(std::max(m_identifiers->capacity(), m_sharedRows));
    for (size_t row = 0; row < m_sharedRows; ++row)
        values.push_back(static_cast<qint64>((*m_identifiers)[row]));
    int64s.swap(values);
    m_identifiers = nullptr;
    m_sharedRows = 0;
}

namespace {

// Eight decimal digits at once, for the identifiers of a model, which have
// 17 to 19 digits. False when one of the bytes is no digit.
bool eightDigits(const char* text, quint64& value)
{
    quint64 chunk = 0;
    std::memcpy(&chunk, text, sizeof chunk);
    if (Q_BYTE_ORDER != Q_LITTLE_ENDIAN) {
        value = 0;
        for (int i = 0; i < 8; ++i) {
            const unsigned digit = static_cast<unsigned char>(text[i]) - unsigned('0');
            if (digit > 9)
                return false;
            value = value * 10 + digit;
        }
        return true;
    }
    // Each byte 0x30 to 0x3F, and 0x30 to 0x39 once 6 more cannot carry.
    constexpr quint64 high = 0xF0F0F0F0F0F0F0F0ULL;
    constexpr quint64 zeros = 0x3030303030303030ULL;
    if ((chunk & high) != zeros || ((chunk + 0x0606060606060606ULL) & high) != zeros)
        return false;
    // The first digit is the lowest byte: pairs, then fours, then all eight.
    chunk -= zeros;
    chunk = (chunk * 10 + (chunk >> 8)) & 0x00FF00FF00FF00FFULL;
    chunk = (chunk * 100 + (chunk >> 16)) & 0x0000FFFF0000FFFFULL;
    value = (chunk * 10000 + (chunk >> 32)) & 0xFFFFFFFFULL;
    return true;
}

// The number whose std::to_chars form is exactly those bytes (no sign but a
// leading '-', no leading zero, no "-0", no blank); false for any other text.
bool parseCanonicalDecimal(const char* text, size_t length, qint64& out)
{
    const bool negative = length != 0 && text[0] == '-';
    const size_t first = negative ? 1 : 0;
    size_t digits = length - first;
    // At most 19 digits, so that the magnitude cannot overflow; a leading
    // zero only in "0" itself.
    if (digits == 0 || digits > 19 || (text[first] == '0' && length != 1))
        return false;
    const char* next = text + first;
    quint64 magnitude = 0;
    for (; digits >= 8; digits -= 8, next += 8) {
        quint64 eight = 0;
        if (!eightDigits(next, eight))
            return false;
        magnitude = magnitude * 100000000 + eight;
    }
    for (; digits != 0; --digits, ++next) {
        const unsigned digit = static_cast<unsigned char>(*next) - unsigned('0');
        if (digit > 9)
            return false;
        magnitude = magnitude * 10 + digit;
    }
    constexpr auto maxSigned = static_cast<quint64>(std::numeric_limits<qint64>::max());
    if (magnitude > (negative ? maxSigned + 1 : maxSigned))
        return false;
    out = static_cast<qint64>(negative ? 0 - magnitude : magnitude);
    return true;
}

constexpr size_t maxArenaBytes = std::numeric_limits<quint32>::max();

} // namespace

void TextColumn::reserve(size_t rows)
{
    if (m_decimal) {
        m_numbers.reserve(rows);
        return;
    }
    m_offsets.reserve(rows);
    if (!m_lengths.empty())
        m_lengths.reserve(rows);
}

void TextColumn::reserveBytes(size_t bytes)
{
    // Coded texts are mostly numbers: their bytes are no measure.
    if (!m_decimal)
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
    if (m_decimal)
        decode();
    // New bytes always go to the end, so texts in record order stay so.
    m_offsets.push_back(store(utf8, length));
    if (!m_lengths.empty())
        m_lengths.push_back(static_cast<quint32>(length));
}

void TextColumn::keepLengths()
{
    // Measured while view() still takes each end from the next offset.
    std::vector<quint32> lengths;
    lengths.reserve(m_offsets.capacity());
    for (size_t row = 0; row < m_offsets.size(); ++row)
        lengths.push_back(static_cast<quint32>(view(row).size()));
    m_lengths.swap(lengths);
}

void TextColumn::set(size_t row, std::string_view utf8)
{
    if (m_decimal)
        decode();
    if (m_lengths.empty())
        keepLengths();
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
    if (m_decimal)
        decode();
    if (m_offsets.empty())
        return;
    if (m_lengths.empty()) {
        m_bytes.resize(m_offsets.back());
        m_offsets.pop_back();
        return;
    }
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

void TextColumn::startDecimalCoding()
{
    if (size() != 0)
        raiseError(QStringLiteral("decimal coding starts on an empty column only"));
    m_decimal = true;
    m_codedBytes = 0;
}

void TextColumn::appendCoded(const char* utf8, size_t length)
{
    if (!m_decimal) {
        append(utf8, length);
        return;
    }
    m_codedBytes += length;
    qint64 number = 0;
    if (parseCanonicalDecimal(utf8, length, number)) {
        m_numbers.push_back(number);
        return;
    }
    const size_t row = m_numbers.size();
    m_offsets.push_back(store(utf8, length));
    m_textRows.push_back(static_cast<quint32>(row));
    m_numbers.push_back(0);
    // Mostly no numbers: plain texts cost less.
    if (m_textRows.size() > 1024 && m_textRows.size() * 2 > m_numbers.size())
        decode();
}

CellValue TextColumn::codedCell(size_t row) const
{
    if (!m_textRows.empty()) {
        const auto found = std::lower_bound(m_textRows.begin(), m_textRows.end(), row);
        if (found != m_textRows.end() && *found == row)
            return CellValue::fromText(view(static_cast<size_t>(found - m_textRows.begin())));
    }
    return CellValue::fromDecimal(m_numbers[row]);
}

std::vector<qint64> TextColumn::takeNumbers()
{
    std::vector<qint64> numbers;
    numbers.swap(m_numbers);
    *this = TextColumn();
    return numbers;
}

void TextColumn::decode()
{
    TextColumn plain;
    plain.m_bytes.reserve(m_codedBytes);
    plain.m_offsets.reserve(std::max(m_numbers.capacity(), m_numbers.size()));
    size_t next = 0; // the next record kept as text
    for (size_t row = 0; row < m_numbers.size(); ++row) {
        if (next < m_textRows.size() && m_textRows[next] == row) {
            const std::string_view text = view(next++);
            plain.append(text.data(), text.size());
        } else {
            char digits[24];
            const char* end = std::to_chars(digits, digits + sizeof digits, m_numbers[row]).ptr;
            plain.append(digits, static_cast<size_t>(end - digits));
        }
    }
    *this = std::move(plain);
}
