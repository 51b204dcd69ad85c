#pragma once

#include "TableObject.h"
#include "TesselObject.h"

#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>

// A record as handed to an identifier handler: the table and the position.
class RecordObject final : public TesselObject<ITesselRecord>
{
public:
    RecordObject(TableObject* table, int row)
        : m_table(table)
        , m_row(row)
    {
    }

    static RecordObject* from(ITesselRecord* record) { return static_cast<RecordObject*>(record); }

    TableObject* table() const { return m_table.get(); }
    int row() const { return m_row; }

private:
    TesselRef<TableObject> m_table;
    int m_row;
};
