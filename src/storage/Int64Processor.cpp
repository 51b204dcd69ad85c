#include "Int64Processor.h"

#include <bimcore/platform/krvcommon/KObjectID.h>
#include <bimcore/platform/tessel/TesselDatabase.h>
#include <bimcore/platform/tessel/TesselEnums.h>
#include <bimcore/platform/tessel/TesselExtPropDef.h>
#include <bimcore/platform/tessel/TesselExtPropDefs.h>
#include <bimcore/platform/tessel/TesselFieldSchema.h>
#include <bimcore/platform/tessel/TesselFieldSchemas.h>
#include <bimcore/platform/tessel/TesselQueryIDValueEvent.h>
#include <bimcore/platform/tessel/TesselTable.h>
#include <bimcore/platform/tessel/TesselTableSchema.h>
#include <bimcore/platform/tessel/TesselTables.h>

#include <QVariant>

namespace bimcore {

namespace {

const QString kDataTypeCode = QStringLiteral("DataType");
const QString kInt64Marker = QStringLiteral("Int64");
const QString kConvertedCode = QStringLiteral("IgnoreProcessInt64");
const QString kConvertedMarker = QStringLiteral("True");

bool hasDefinition(const TesselExtPropDefs& definitions, const QString& code, const QString& value)
{
    const TesselExtPropDef definition = definitions.find(code);
    return !definition.isNull() && definition.value() == value;
}

bool isMarkedInt64(const TesselFieldSchema& field)
{
    return hasDefinition(field.extPropDefs(), kDataTypeCode, kInt64Marker);
}

// Calls visit(table) for every table of every database. The counts are read
// before every step, so a visitor may change the model under way.
template <class Visit> void forEachTable(const TesselModel& model, Visit visit)
{
    for (int d = 0; d < model.databaseCount(); ++d) {
        const TesselTables tables = model.databases(d).tables();
        for (int t = 0; t < tables.count(); ++t)
            visit(tables.items(t));
    }
}

} // namespace

Int64Processor::Int64Processor() = default;

Int64Processor::~Int64Processor() = default;

Int64Processor* Int64Processor::instance()
{
    static Int64Processor processor;
    return &processor;
}

void Int64Processor::process(TesselModel model)
{
    if (model.isNull())
        return;
    // Binding is not kept in the model file, so it is done on every load.
    bindTables(model);
    if (hasDefinition(model.extPropDefs(), kConvertedCode, kConvertedMarker))
        return;

    model.setMode(tmDesign);
    forEachTable(model, [](const TesselTable& table) {
        const TesselFieldSchemas fields = table.tableSchema().fieldSchemas();
        for (int f = 0; f < fields.count(); ++f) {
            TesselFieldSchema field = fields.items(f);
            if (isMarkedInt64(field))
                field.setDataType(tdtInt64);
        }
    });

    TesselExtPropDef converted = model.extPropDefs().add();
    converted.setCode(kConvertedCode);
    converted.setValue(kConvertedMarker);
}

void Int64Processor::bindTables(TesselModel model)
{
    const TesselQueryIDValueEvent handler(static_cast<ITesselQueryIDValueEvent*>(this));
    forEachTable(model, [&handler](TesselTable table) {
        if (table.tableKind() != ttkOrdinary)
            return;
        const TesselTableSchema schema = table.tableSchema();
        const int keyIndex = schema.primaryKeyFieldIndex();
        if (keyIndex < 0)
            return; // records of a table without a key get the library's own identifiers
        const TesselFieldSchema key = schema.fieldSchemas().items(keyIndex);
        // An unconverted model shows its identifier keys by their marker, a
        // converted one by their type.
        if (key.dataType() == tdtInt64 || isMarkedInt64(key))
            table.setOnQueryIDValue(handler);
    });
}

void Int64Processor::doQueryIDValue(ITesselRecord* /*record*/, QVariant* value)
{
    if (value)
        *value = QVariant::fromValue<qulonglong>(KObjectID::NewID());
}

} // namespace bimcore
