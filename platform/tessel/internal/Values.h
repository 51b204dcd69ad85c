#pragma once

#include <bimcore/platform/tessel/TesselEnums.h>

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
        Text,
        // A text whose bytes are exactly what std::to_chars writes for
        // `integer`, kept as the number. It converts as that text does.
        Decimal
    };

    Kind kind = Integer;
    qint64 integer = 0;
    quint64 unsignedInteger = 0;
    double real = 0;
    std::string_view text; // UTF-8; valid as long as its source

    static CellValue fromInteger(qint64 value) { return { Integer, value, 0, 0, {} }; }
    static CellValue fromUnsigned(quint64 value) { return { Unsigned, 0, value, 0, {} }; }
    static CellValue fromReal(double value) { return { Real, 0, 0, value, {} }; }
    static CellValue fromText(std::string_view value) { return { Text, 0, 0, 0, value }; }
    static CellValue fromDecimal(qint64 value) { return { Decimal, value, 0, 0, {} }; }
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

// The texts of one field, kept as UTF-8 in one byte arena with an offset per
// record: a few bytes per value instead of a QString each. While the texts
// lie in the arena in record order, one after the other (as loaded or
// appended), a text ends where the next begins and no length is kept.
// Replacing a value appends the new bytes and keeps a length per record from
// then on; the arena is compacted once more than half of it is no longer
// referenced.
//
// Decimal coding, for the texts of a field that holds 64-bit identifiers as
// decimal texts: every text that is exactly the std::to_chars form of a
// number is kept as that number, the others as texts beside them. Reads see
// the same texts; the first change turns the column back into plain texts.
class TextColumn
{
public:
    size_t size() const { return m_decimal ? m_numbers.size() : m_offsets.size(); }
    void reserve(size_t rows);
    void reserveBytes(size_t bytes);
    void append(const char* utf8, size_t length);
    void emplace_back() { append(nullptr, 0); }
    void pop_back();
    void set(size_t row, std::string_view utf8);
    CellValue cell(size_t row) const
    {
        return m_decimal ? codedCell(row) : CellValue::fromText(view(row));
    }
    size_t byteCount() const { return m_decimal ? m_codedBytes : m_bytes.size() - m_garbage; }

    // Starts decimal coding; the column must be empty.
    void startDecimalCoding();
    bool decimalCoded() const { return m_decimal; }
    // Appends, as a number when the column is coded and the text is one;
    // turns a coded column into plain texts when most values are no numbers.
    void appendCoded(const char* utf8, size_t length);
    // While coded: the records kept as texts, in ascending order.
    size_t textRowCount() const { return m_textRows.size(); }
    size_t textRow(size_t index) const { return m_textRows[index]; }
    std::string_view textOfTextRow(size_t index) const { return view(index); }
    // While coded: the numbers of all records (0 for those kept as texts),
    // handed over; the column is left empty and plain.
    std::vector<qint64> takeNumbers();

private:
    std::string_view view(size_t index) const
    {
        const size_t end = !m_lengths.empty() ? m_offsets[index] + m_lengths[index]
            : index + 1 < m_offsets.size()    ? m_offsets[index + 1]
                                              : m_bytes.size();
        return std::string_view(m_bytes.data() + m_offsets[index], end - m_offsets[index]);
    }
    CellValue codedCell(size_t row) const;
    quint32 store(const char* utf8, size_t length);
    void keepLengths();
    void compact();
    void decode();

    std::string m_bytes;
    std::vector<quint32> m_offsets;
    std::vector<quint32> m_lengths; // empty while the texts lie in order
    size_t m_garbage = 0;

    bool m_decimal = false;
    std::vector<qint64> m_numbers; // coded: one per record
    std::vector<quint32> m_textRows; // coded: the records in the arena, ascending
    size_t m_codedBytes = 0; // coded: the bytes of all texts
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
//
// A 64-bit column may share its values with the table's record identifiers:
// a table keyed by its identifiers holds each of them twice otherwise. While
// shared, int64s is empty; any change takes the values over first.
struct FieldColumn
{
    explicit FieldColumn(Storage storage)
        : storage(storage)
    {
    }

    void reserve(size_t rows)
    {
        if (!sharesIdentifiers())
            onValues(*this, [rows](auto& values) { values.reserve(rows); });
    }
    void appendEmpty()
    {
        ownValues();
        onValues(*this, [](auto& values) { values.emplace_back(); });
    }
    void popBack()
    {
        ownValues();
        onValues(*this, [](auto& values) { values.pop_back(); });
    }
    CellValue cell(size_t row) const;
    // Converts value for type and stores it; false (nothing changed) when the
    // value cannot be represented.
    bool store(size_t row, TesselDataType type, const CellValue& value);

    // 64-bit storage, empty: the values are to be the identifiers, which
    // belong to the column's table and outlive it.
    void shareIdentifiers(const std::vector<quint64>& identifiers)
    {
        m_identifiers = &identifiers;
        m_sharedRows = 0;
    }
    bool sharesIdentifiers() const { return m_identifiers != nullptr; }
    // While shared: appends value if it is the identifier of the record
    // appended next, or takes the values over and returns false.
    bool appendShared(qint64 value)
    {
        if (m_sharedRows < m_identifiers->size()
            && (*m_identifiers)[m_sharedRows] == static_cast<quint64>(value)) {
            ++m_sharedRows;
            return true;
        }
        ownValues();
        return false;
    }
    // Takes shared values over into int64s.
    void ownValues()
    {
        if (m_identifiers)
            takeIdentifiers();
    }
    qint64 int64At(size_t row) const
    {
        return m_identifiers ? static_cast<qint64>((*m_identifiers)[row]) : int64s[row];
    }

    Storage storage;
    std::vector<qint32> int32s;
    std::vector<qint64> int64s;
    std::vector<double> doubles;
    TextColumn texts;

private:
    void takeIdentifiers();

    const std::vector<quint64>* m_identifiers = nullptr;
    size_t m_sharedRows = 0;
};
