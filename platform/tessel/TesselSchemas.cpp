// The schema handles: table schema, field schema list, field schema.
#include "TesselFieldSchema.h"
#include "TesselFieldSchemas.h"
#include "TesselTableSchema.h"
#include "internal/Errors.h"
#include "internal/TableObject.h"

namespace {
TableObject* object(const TesselRef<ITesselTable>& table, const char* handle)
{
    checkHandle(table.get(), handle);
    return TableObject::from(table.get());
}
} // namespace

TesselTableSchema::TesselTableSchema(ITesselTable* table)
    : m_table(table)
{
}

TesselFieldSchemas TesselTableSchema::fieldSchemas() const
{
    return TesselFieldSchemas(object(m_table, "table schema"));
}

int TesselTableSchema::primaryKeyFieldIndex() const
{
    return object(m_table, "table schema")->primaryKey();
}

void TesselTableSchema::setPrimaryKeyFieldIndex(int index)
{
    object(m_table, "table schema")->setPrimaryKey(index);
}

int TesselTableSchema::fieldIndex(const QString& name) const
{
    return object(m_table, "table schema")->fieldIndex(name);
}

TesselFieldSchemas::TesselFieldSchemas(ITesselTable* table)
    : m_table(table)
{
}

int TesselFieldSchemas::count() const
{
    return object(m_table, "field schemas")->fieldCount();
}

TesselFieldSchema TesselFieldSchemas::items(int index) const
{
    TableObject* table = object(m_table, "field schemas");
    table->field(index);
    return TesselFieldSchema(table, index);
}

TesselFieldSchema TesselFieldSchemas::find(const QString& name) const
{
    TableObject* table = object(m_table, "field schemas");
    const int index = table->fieldIndex(name);
    return index < 0 ? TesselFieldSchema() : TesselFieldSchema(table, index);
}

TesselFieldSchema TesselFieldSchemas::add(const QString& name, TesselDataType type)
{
    TableObject* table = object(m_table, "field schemas");
    return TesselFieldSchema(table, table->addField(name, type));
}

TesselFieldSchema::TesselFieldSchema(ITesselTable* table, int fieldIndex)
    : m_table(table)
    , m_index(table ? fieldIndex : -1)
{
    if (table)
        TableObject::from(table)->field(fieldIndex);
}

QString TesselFieldSchema::name() const
{
    return object(m_table, "field schema")->field(m_index).name;
}

TesselDataType TesselFieldSchema::dataType() const
{
    return object(m_table, "field schema")->field(m_index).type;
}

void TesselFieldSchema::dataType(TesselDataType& type) const
{
    type = dataType();
}

void TesselFieldSchema::setDataType(const TesselDataType& type)
{
    object(m_table, "field schema")->setFieldType(m_index, type);
}

TesselExtPropDefs TesselFieldSchema::extPropDefs() const
{
    return TesselExtPropDefs(object(m_table, "field schema")->field(m_index).extPropDefs.get());
}
