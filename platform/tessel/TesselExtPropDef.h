#pragma once

#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>
#include <tessel/tessel_export.h>

#include <QString>

// One extended property definition: a code and a text value. A new definition
// has an empty code and an empty value. Operations on a null handle raise
// KRVException.
class TESSEL_EXPORT TesselExtPropDef
{
public:
    TesselExtPropDef() = default;
    explicit TesselExtPropDef(ITesselExtPropDef* definition);

    bool isNull() const noexcept { return !m_definition; }
    explicit operator bool() const noexcept { return !isNull(); }
    ITesselExtPropDef* get() const noexcept { return m_definition.get(); }
    // Same library object.
    bool operator==(const TesselExtPropDef& other) const noexcept
    {
        return m_definition == other.m_definition;
    }
    bool operator!=(const TesselExtPropDef& other) const noexcept { return !(*this == other); }

    QString code() const;
    QString value() const;
    void setCode(const QString& code);
    void setValue(const QString& value);

private:
    TesselRef<ITesselExtPropDef> m_definition;
};
