#pragma once

#include <tessel/TesselEnums.h>

#include <QString>
#include <QtGlobal>

#include <string>
#include <string_view>
#include <vector>

// One value on its way between a field's storage and a caller, with the
// conversions between storage classes. A conversion that cannot represent
// the value returns false; the callers turn that into an error that names the
// table, field and record.
struct CellValue
{
    enum Kind
    {
        Integer,
        Unsigned,
        Real,
        Text
    };

    Kind kind = Integer;
    qint64 integer = 0;
    quint64 unsignedInteger = 0;
    double real = 0;
    std::string_view text; // UTF-8; valid as long as its source

    static CellValue fromInteger(qint64 value)
    {
        CellValue cell;
        cell.integer = value;
        return cell;
    }
    static CellValue fromUnsigned(quint64 value)
    {
        CellValue cell;
        cell.kind = Unsigned;
        cell.unsignedInteger = value;
        return cell;
    }
    static CellValue fromReal(double value)
    {
        CellValue cell;
        cell.kind = Real;
        cell.real = value;
        return cell;
    }
    static CellValue fromText(std::string_view value)
    {
        CellValue cell;
        cell.kind = Text;
        cell.text = value;
        return cell;
    }
};

// keepUnsignedBits: an unsigned value above the signed range keeps its bit
// pattern (64-bit identifiers); otherwise it does not convert.
bool convertToInt64(const CellValue& cell, qint64& out, bool keepUnsignedBits);
bool convertToInt32(const CellValue& cell, qint32& out);
bool convertToBoolean(const CellValue& cell, qint32& out);
bool convertToUInt64(const CellValue& cell, quint64& out);
bool convertToDouble(const CellValue& cell, double& out);
std::string convertToText(const CellValue& cell);
// A short quotable form of the value for error messages.
QString describeCell(const CellValue& cell);

// How a data type keeps its values.
enum class Storage
{
    Int32,
    Int64,
    Double,
    Text
};

Storage storageOf(TesselDataType type);
bool isKnownDataType(int type);

// The texts of one field, kept as UTF-8 in one byte arena with an offset and
// a length per record: a few bytes per value instead of a QString each.
// Replacing a value appends the new bytes; the arena is compacted once more
// than half of it is no longer referenced.
class TextColumn
{
public:
    size_t size() const { return m_offsets.size(); }
    void reserve(size_t rows);
    void reserveBytes(size_t bytes);
    void append(const char* utf8, size_t length);
    void emplace_back() { append(nullptr, 0); }
    void pop_back();
    void set(size_t row, std::string_view utf8);
    std::string_view view(size_t row) const
    {
        return std::string_view(m_bytes.data() + m_offsets[row], m_lengths[row]);
    }
    size_t byteCount() const { return m_bytes.size() - m_garbage; }

private:
    quint32 store(const char* utf8, size_t length);
    void compact();

    std::string m_bytes;
    std::vector<quint32> m_offsets;
    std::vector<quint32> m_lengths;
    size_t m_garbage = 0;
};

// Calls operation with the vector of a column's storage.
template <class Column, class Operation> auto onValues(Column& column, Operation operation)
{
    switch (column.storage) {
    case Storage::Int32:
        return operation(column.int32s);
    case Storage::Int64:
        return operation(column.int64s);
    case Storage::Double:
        return operation(column.doubles);
    case Storage::Text:
        break;
    }
    return operation(column.texts);
}

// The values of one field, one typed vector per storage class (only the one
// of the field's storage is used).
struct FieldColumn
{
    explicit FieldColumn(Storage storage)
        : storage(storage)
    {
    }

    void reserve(size_t rows)
    {
        onValues(*this, [rows](auto& values) { values.reserve(rows); });
    }
    void appendEmpty()
    {
        onValues(*this, [](auto& values) { values.emplace_back(); });
    }
    void popBack()
    {
        onValues(*this, [](auto& values) { values.pop_back(); });
    }
    CellValue cell(size_t row) const;
    // Converts value for type and stores it; false (nothing changed) when the
    // value cannot be represented.
    bool store(size_t row, TesselDataType type, const CellValue& value);

    Storage storage;
    std::vector<qint32> int32s;
    std::vector<qint64> int64s;
    std::vector<double> doubles;
    TextColumn texts;
};
