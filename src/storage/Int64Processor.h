#pragma once

#include <bimcore/platform/tessel/TesselModel.h>
#include <bimcore/platform/tessel/TesselQueryIDValueImpl.h>

namespace bimcore {

// Prepares the 64-bit identifier fields of a loaded model: every field marked
// "DataType" = "Int64" gets the 64-bit integer type once per model (the model
// then carries "IgnoreProcessInt64" = "True"), and every ordinary table keyed
// by such a field asks this handler for the identifiers of new records.
//
// One object serves every table of every model; tables hold references that
// never delete it, and it lives until the library is unloaded.
class Int64Processor : public TesselQueryIDValueImpl
{
public:
    static Int64Processor* instance();

    // Binds the tables on every load; converts the marked fields unless the
    // model says it was done. Leaves a converted model in mode 0.
    void process(TesselModel model);
    void bindTables(TesselModel model);

    ~Int64Processor() override;

    // A fresh object identifier for every request; the record is not asked.
    void doQueryIDValue(ITesselRecord* record, QVariant* value) override;

private:
    Int64Processor();
};

} // namespace bimcore
