#pragma once

#include "ChangeLog.h"
#include "ExtPropDefListObject.h"
#include "FieldColumn.h"
#include "TesselObject.h"

#include <tessel/TesselEnums.h>
#include <tessel/TesselInterfaces.h>
#include <tessel/TesselQueryIDValueEvent.h>
#include <tessel/TesselRef.h>

#include <QHash>
#include <QString>

#include <memory>
#include <vector>

struct FieldDef
{
    QString name;
    TesselDataType type = tdtUnknown;
    TesselRef<ExtPropDefListObject> extPropDefs;
};

// A table: schema, typed columns of values, identifiers and the identifier
// handler. Every index handed in is checked; faults raise KRVException.
class TableObject final : public TesselObject<ITesselTable>
{
public:
    TableObject(ChangeLogPtr log, const QString& name, TesselTableKind kind);

    static TableObject* from(ITesselTable* table) { return static_cast<TableObject*>(table); }

    const QString& name() const { return m_name; }
    TesselTableKind kind() const { return m_kind; }
    void setKind(TesselTableKind kind);

    int fieldCount() const { return static_cast<int>(m_fields.size()); }
    const FieldDef& field(int index) const;
    // -1 when absent.
    int fieldIndex(const QString& name) const { return m_fieldIndex.value(name, -1); }
    // Raises when absent.
    int requireField(const QString& name) const;
    int addField(const QString& name, TesselDataType type);
    void setFieldType(int index, TesselDataType type);
    int primaryKey() const { return m_primaryKey; }
    void setPrimaryKey(int index);

    int recordCount() const { return static_cast<int>(m_ids.size()); }
    void checkRecord(int row) const;
    quint64 id(int row) const { return m_ids[static_cast<size_t>(row)]; }
    void setId(int row, quint64 id);
    const FieldColumn& column(int field) const { return m_columns[static_cast<size_t>(field)]; }
    CellValue cell(int row, int field) const;
    // Stores value converted for the field; raises naming table, field and
    // record when it cannot be.
    void storeCell(int row, int field, const CellValue& value);
    bool sameValues(int row, const TableObject& other, int otherRow) const;

    int appendRecord();
    int appendRecord(quint64 id);
    void reserveRecords(int count);
    int indexOfId(quint64 id) const;

    const TesselQueryIDValueEvent& handler() const { return m_handler; }
    void setHandler(const TesselQueryIDValueEvent& handler) { m_handler = handler; }

    // For the file reader, which fills the columns directly and then checks
    // them with finishLoading.
    std::vector<quint64>& loadingIds() { return m_ids; }
    std::vector<FieldColumn>& loadingColumns() { return m_columns; }
    void finishLoading();

    QString describeRecord(int row) const;

private:
    int appendEmptyRecord(quint64 id, bool indexId);
    void noteIdInIndex(quint64 id, int row);
    void dropLastRecord();
    quint64 identifierFromHandler(int row);

    ChangeLogPtr m_log;
    QString m_name;
    TesselTableKind m_kind;
    std::vector<FieldDef> m_fields;
    QHash<QString, int> m_fieldIndex;
    int m_primaryKey = -1;
    std::vector<quint64> m_ids;
    std::vector<FieldColumn> m_columns;
    TesselQueryIDValueEvent m_handler;
    mutable std::unique_ptr<QHash<quint64, int>> m_idIndex;
};
