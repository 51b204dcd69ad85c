#pragma once

#include <bimcore/platform/tessel/TesselEnums.h>
#include <bimcore/platform/tessel/TesselExtPropDefs.h>
#include <bimcore/platform/tessel/TesselInterfaces.h>
#include <bimcore/platform/tessel/TesselRef.h>
#include <bimcore/platform/tessel/tessel_export.h>

#include <QString>

// One field of a table: its name, data type and extended property
// definitions. The handle refers to the table and the field's position in it.
class TESSEL_EXPORT TesselFieldSchema : public TesselItemHandle<ITesselTable>
{
public:
    TesselFieldSchema() = default;
    // A table without that field raises KRVException.
    TesselFieldSchema(ITesselTable* table, int fieldIndex);

    QString name() const;
    TesselDataType dataType() const;
    // Changes the field's type and converts every stored value to it:
    //  - to tdtInt64 (and the other integer types): integers are kept,
    //    doubles with an integral value are kept, texts of decimal digits
    //    (optionally signed, surrounding blanks ignored) are parsed, an empty
    //    text gives 0; anything else (a fraction, a word, a value outside the
    //    target range) raises KRVException naming table, field and record,
    //    and the field keeps its old type and values;
    //  - to tdtDouble: numbers convert, texts must hold a number;
    //  - to text types: every value gets its decimal text form.
    void setDataType(const TesselDataType& type);
    TesselExtPropDefs extPropDefs() const;
};
