#include "FieldColumn.h"

#include <cstring>

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

size_t FieldColumn::size() const
{
    switch (m_storage) {
    case Storage::Int32:
        return int32s.size();
    case Storage::Int64:
        return int64s.size();
    case Storage::Double:
        return doubles.size();
    case Storage::Text:
        return texts.size();
    }
    return 0;
}

void FieldColumn::reserve(size_t rows, size_t textBytes)
{
    switch (m_storage) {
    case Storage::Int32:
        int32s.reserve(rows);
        break;
    case Storage::Int64:
        int64s.reserve(rows);
        break;
    case Storage::Double:
        doubles.reserve(rows);
        break;
    case Storage::Text:
        texts.reserve(rows, textBytes);
        break;
    }
}

void FieldColumn::appendEmpty()
{
    switch (m_storage) {
    case Storage::Int32:
        int32s.push_back(0);
        break;
    case Storage::Int64:
        int64s.push_back(0);
        break;
    case Storage::Double:
        doubles.push_back(0);
        break;
    case Storage::Text:
        texts.append(nullptr, 0);
        break;
    }
}

void FieldColumn::popBack()
{
    switch (m_storage) {
    case Storage::Int32:
        int32s.pop_back();
        break;
    case Storage::Int64:
        int64s.pop_back();
        break;
    case Storage::Double:
        doubles.pop_back();
        break;
    case Storage::Text:
        texts.popBack();
        break;
    }
}

CellValue FieldColumn::cell(size_t row) const
{
    switch (m_storage) {
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
    switch (m_storage) {
    case Storage::Int32: {
        qint32 converted = 0;
        const bool ok = type == tdtBoolean ? convertToBoolean(value, converted)
                                           : convertToInt32(value, converted);
        if (ok)
            int32s[row] = converted;
        return ok;
    }
    case Storage::Int64: {
        qint64 converted = 0;
        const bool ok = convertToInt64(value, converted, type == tdtInt64);
        if (ok)
            int64s[row] = converted;
        return ok;
    }
    case Storage::Double: {
        double converted = 0;
        const bool ok = convertToDouble(value, converted);
        if (ok)
            doubles[row] = converted;
        return ok;
    }
    case Storage::Text:
        if (value.kind == CellValue::Text) {
            texts.set(row, value.text);
        } else {
            const std::string text = convertToText(value);
            texts.set(row, text);
        }
        return true;
    }
    return false;
}

bool FieldColumn::append(TesselDataType type, const CellValue& value)
{
    appendEmpty();
    if (store(size() - 1, type, value))
        return true;
    popBack();
    return false;
}

bool FieldColumn::equals(size_t row, const FieldColumn& other, size_t otherRow) const
{
    if (m_storage != other.m_storage)
        return false;
    switch (m_storage) {
    case Storage::Int32:
        return int32s[row] == other.int32s[otherRow];
    case Storage::Int64:
        return int64s[row] == other.int64s[otherRow];
    case Storage::Double: {
        // Bitwise, so that equal revisions compare equal even for NaN.
        const double a = doubles[row];
        const double b = other.doubles[otherRow];
        return std::memcmp(&a, &b, sizeof a) == 0;
    }
    case Storage::Text:
        return texts.view(row) == other.texts.view(otherRow);
    }
    return false;
}
