#pragma once

#include <bimcore/platform/tessel/TesselEnums.h>
#include <bimcore/platform/tessel/TesselExtPropDefs.h>

/// One field of a table: its name, data type and extended property
/// definitions. The handle refers to the table and the field's position in it.
class TESSEL_EXPORT TesselFieldSchema : public TesselItemHandle<ITesselTable>
{
public:
    TesselFieldSchema() = default;
    /// A table without that field raises KRVException.
    TesselFieldSchema(ITesselTable* table, int fieldIndex);

    QString name() const;
    TesselDataType dataType() const;
    /// Changes the field's type and converts every value: to whole numbers from
    /// whole doubles and decimal texts (signed, blanks around, empty as 0), to
    /// doubles from numbers and their texts, to texts as decimal text. A value
    /// that does not convert raises KRVException naming table, field and
    /// record, and the field keeps its type and values.
    void setDataType(const TesselDataType& type);
    TesselExtPropDefs extPropDefs() const;
};
