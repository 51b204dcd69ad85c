#pragma once

#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>
#include <tessel/tessel_export.h>

#include <QString>

// One extended property definition: a code and a text value. The handle
// refers to its list and its position there.
class TESSEL_EXPORT TesselExtPropDef : public TesselHandle<ITesselExtPropDefs>
{
public:
    TesselExtPropDef() = default;
    // A list without that position raises KRVException.
    TesselExtPropDef(ITesselExtPropDefs* list, int index);

    // Same definition of the same list.
    bool operator==(const TesselExtPropDef& other) const noexcept
    {
        return get() == other.get() && m_index == other.m_index;
    }
    bool operator!=(const TesselExtPropDef& other) const noexcept { return !(*this == other); }

    QString code() const;
    QString value() const;
    void setCode(const QString& code);
    void setValue(const QString& value);

private:
    int m_index = -1;
};
