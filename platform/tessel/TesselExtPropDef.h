#pragma once

#include <bimcore/platform/tessel/TesselRef.h>

/// One extended property definition: a code and a text value. The handle
/// refers to its list and its position there.
class TESSEL_EXPORT TesselExtPropDef : public TesselItemHandle<ITesselExtPropDefs>
{
public:
    TesselExtPropDef() = default;
    /// A list without that position raises KRVException.
    TesselExtPropDef(ITesselExtPropDefs* list, int index);

    QString code() const;
    QString value() const;
    void setCode(const QString& code);
    void setValue(const QString& value);
};
