#pragma once

#include <tessel/TesselEnums.h>
#include <tessel/TesselExtPropDefs.h>
#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>
#include <tessel/tessel_export.h>

#include <QString>

// One field of a table: its name, data type and extended property
// definitions. The handle refers to the table and the field's position in it.
// Operations on a null handle raise KRVException.
class TESSEL_EXPORT TesselFieldSchema
{
public:
    TesselFieldSchema() = default;
    TesselFieldSchema(ITesselTable* table, int fieldIndex);

    bool isNull() const noexcept { return !m_table; }
    explicit operator bool() const noexcept { return !isNull(); }
    ITesselTable* table() const noexcept { return m_table.get(); }
    int index() const noexcept { return m_index; }

    QString name() const;
    TesselDataType dataType() const;
    // The same, into a variable of the caller's.
    void dataType(TesselDataType& type) const;
    // Changes the field's type and converts every stored value to it:
    //  - to tdtInt64 (and the other integer types): integers are kept,
    //    doubles with an integral value are kept, texts of decimal digits
    //    (optionally signed, surrounding blanks ignored) are parsed, an empty
    //    text gives 0; anything else (a fraction, a word, a value outside the
    //    target range) raises KRVException naming table, field and record,
    //    and the field keeps its old type and values;
    //  - to tdtDouble: numbers convert, texts must hold a number;
    //  - to text types: every value gets its decimal text form.
    // Setting the type a field already has converts nothing.
    void setDataType(const TesselDataType& type);
    TesselExtPropDefs extPropDefs() const;

private:
    TesselRef<ITesselTable> m_table;
    int m_index = -1;
};
