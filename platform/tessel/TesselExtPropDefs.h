#pragma once

#include <bimcore/platform/tessel/TesselExtPropDef.h>

/// An ordered list of extended property definitions (of a model or of a
/// field). The same code may stand more than once.
class TESSEL_EXPORT TesselExtPropDefs : public TesselHandle<ITesselExtPropDefs>
{
public:
    using TesselHandle::TesselHandle;
    int count() const;
    /// The index-th definition; an index out of range raises KRVException.
    TesselExtPropDef items(int index) const { return TesselExtPropDef(get(), index); }
    /// The first definition whose code equals code exactly (case-sensitive);
    /// a null handle when there is none.
    TesselExtPropDef find(const QString& code) const;
    /// Appends a definition with an empty code and value and returns it.
    TesselExtPropDef add();
};
