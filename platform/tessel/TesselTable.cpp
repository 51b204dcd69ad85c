#include "TesselTable.h"

#include "internal/Errors.h"
#include "internal/TableObject.h"

namespace {
TableObject* object(const TesselRef<ITesselTable>& table)
{
    checkHandle(table.get(), "table");
    return TableObject::from(table.get());
}
} // namespace

TesselTable::TesselTable(ITesselTable* table)
    : m_table(table)
{
}

QString TesselTable::name() const
{
    return object(m_table)->name();
}

TesselTableSchema TesselTable::tableSchema() const
{
    return TesselTableSchema(object(m_table));
}

TesselTableKind TesselTable::tableKind() const
{
    return object(m_table)->kind();
}

void TesselTable::setTableKind(TesselTableKind kind)
{
    object(m_table)->setKind(kind);
}

void TesselTable::setOnQueryIDValue(const TesselQueryIDValueEvent& handler)
{
    object(m_table)->setHandler(handler);
}

TesselQueryIDValueEvent TesselTable::onQueryIDValue() const
{
    return object(m_table)->handler();
}

int TesselTable::recordCount() const
{
    return object(m_table)->recordCount();
}

TesselRecord TesselTable::operator[](int index) const
{
    TableObject* table = object(m_table);
    table->checkRecord(index);
    return TesselRecord(table, index);
}

int TesselTable::indexOfId(quint64 id) const
{
    return object(m_table)->indexOfId(id);
}

TesselRecord TesselTable::appendRecord()
{
    TableObject* table = object(m_table);
    return TesselRecord(table, table->appendRecord());
}

TesselRecord TesselTable::appendRecord(quint64 id)
{
    TableObject* table = object(m_table);
    return TesselRecord(table, table->appendRecord(id));
}

void TesselTable::reserveRecords(int count)
{
    object(m_table)->reserveRecords(count);
}
