#pragma once

#include "CellValue.h"
#include "TextColumn.h"

#include <tessel/TesselEnums.h>

#include <QtGlobal>

#include <vector>

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

// The values of one field, one typed vector per storage class (only the one
// of the field's storage is used).
class FieldColumn
{
public:
    explicit FieldColumn(Storage storage)
        : m_storage(storage)
    {
    }

    Storage storage() const { return m_storage; }
    size_t size() const;
    void reserve(size_t rows, size_t textBytes);
    void appendEmpty();
    void popBack();

    CellValue cell(size_t row) const;
    // Converts value for type and stores it; false (nothing changed) when the
    // value cannot be represented.
    bool store(size_t row, TesselDataType type, const CellValue& value);
    bool append(TesselDataType type, const CellValue& value);
    bool equals(size_t row, const FieldColumn& other, size_t otherRow) const;

    std::vector<qint32> int32s;
    std::vector<qint64> int64s;
    std::vector<double> doubles;
    TextColumn texts;

private:
    Storage m_storage;
};
