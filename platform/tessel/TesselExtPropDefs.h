#pragma once

#include <tessel/TesselExtPropDef.h>
#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>
#include <tessel/tessel_export.h>

#include <QString>

// An ordered list of extended property definitions (of a model or of a
// field). The same code may stand more than once. Operations on a null handle
// raise KRVException.
class TESSEL_EXPORT TesselExtPropDefs
{
public:
    TesselExtPropDefs() = default;
    explicit TesselExtPropDefs(ITesselExtPropDefs* definitions);

    bool isNull() const noexcept { return !m_definitions; }
    explicit operator bool() const noexcept { return !isNull(); }
    ITesselExtPropDefs* get() const noexcept { return m_definitions.get(); }

    int count() const;
    // The index-th definition; an index out of range raises KRVException.
    TesselExtPropDef items(int index) const;
    // The first definition whose code equals code exactly (case-sensitive);
    // a null handle when there is none.
    TesselExtPropDef find(const QString& code) const;
    // Appends a new definition with an empty code and value and returns it.
    TesselExtPropDef add();
    // Removes the index-th definition; an index out of range raises
    // KRVException. Handles to it stay valid but belong to no list.
    void remove(int index);

private:
    TesselRef<ITesselExtPropDefs> m_definitions;
};
