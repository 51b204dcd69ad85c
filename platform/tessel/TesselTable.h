#pragma once

#include <tessel/TesselEnums.h>
#include <tessel/TesselInterfaces.h>
#include <tessel/TesselQueryIDValueEvent.h>
#include <tessel/TesselRecord.h>
#include <tessel/TesselRef.h>
#include <tessel/TesselTableSchema.h>
#include <tessel/tessel_export.h>

#include <QString>
#include <QtGlobal>

// A table of a model database: name, kind, schema, records and the optional
// identifier handler. Operations on a null handle raise KRVException.
class TESSEL_EXPORT TesselTable
{
public:
    TesselTable() = default;
    explicit TesselTable(ITesselTable* table);

    bool isNull() const noexcept { return !m_table; }
    explicit operator bool() const noexcept { return !isNull(); }
    ITesselTable* get() const noexcept { return m_table.get(); }
    // Same library object.
    bool operator==(const TesselTable& other) const noexcept { return m_table == other.m_table; }
    bool operator!=(const TesselTable& other) const noexcept { return m_table != other.m_table; }

    QString name() const;
    TesselTableSchema tableSchema() const;
    TesselTableKind tableKind() const;
    void setTableKind(TesselTableKind kind);

    // The handler that gives identifiers to appended records; a null handle
    // removes it. The table keeps a reference (AddRef) while it is set.
    void setOnQueryIDValue(const TesselQueryIDValueEvent& handler);
    // The handler set, or a null handle.
    TesselQueryIDValueEvent onQueryIDValue() const;

    int recordCount() const;
    // The index-th record; an index out of range raises KRVException.
    TesselRecord operator[](int index) const;
    // Position of the record with that identifier, or -1. The first call
    // builds an identifier index that later appends keep up to date.
    int indexOfId(quint64 id) const;

    // Appends a record whose fields hold their type's empty value and returns
    // it. Its identifier comes from the identifier handler when one is set
    // (onQueryIDValue with the new record; a value the handler leaves empty
    // falls back to KObjectID::NewID(), a value that is no unsigned 64-bit
    // integer raises KRVException and nothing is appended), otherwise from
    // KObjectID::NewID(). When the primary-key field holds integers, the
    // identifier is written into it as well.
    TesselRecord appendRecord();
    // Appends a record with the identifier given (tools, tests, loading);
    // neither the handler nor the primary-key field is involved.
    TesselRecord appendRecord(quint64 id);
    // Makes room for that many records in all.
    void reserveRecords(int count);

private:
    TesselRef<ITesselTable> m_table;
};
