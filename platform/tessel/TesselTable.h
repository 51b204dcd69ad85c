#pragma once

#include <bimcore/platform/tessel/TesselQueryIDValueEvent.h>
#include <bimcore/platform/tessel/TesselRecord.h>
#include <bimcore/platform/tessel/TesselTableSchema.h>

/// A table of a model database: name, kind, schema, records and the optional
/// identifier handler.
class TESSEL_EXPORT TesselTable : public TesselHandle<ITesselTable>
{
public:
    using TesselHandle::TesselHandle;
    /// A null handle standing for a table that was looked up and not found:
    /// its operations raise KRVException naming the table and its database.
    static TesselTable missing(const QString& database, const QString& table);
    QString name() const;
    TesselTableSchema tableSchema() const { return TesselTableSchema(get()); }
    TesselTableKind tableKind() const;

    /// The handler that gives identifiers to appended records; a null handle
    /// removes it. The table keeps a reference (AddRef) while it is set.
    void setOnQueryIDValue(const TesselQueryIDValueEvent& handler);
    /// The handler set, or a null handle.
    TesselQueryIDValueEvent onQueryIDValue() const;

    int recordCount() const;
    /// The index-th record; an index out of range raises KRVException.
    TesselRecord operator[](int index) const;

    /// Appends a record of empty values. Its identifier comes from the handler
    /// (one it leaves empty, or no handler, from KObjectID::NewID(); one that is
    /// no unsigned 64-bit integer raises KRVException and appends nothing) and
    /// goes into the primary-key field too when that has type tdtInt64.
    TesselRecord appendRecord();
    /// Appends a record with the identifier given (tools, tests, loading);
    /// neither the handler nor the primary-key field is involved.
    TesselRecord appendRecord(quint64 id);
    /// Makes room for that many records in all.
    void reserveRecords(int count);

private:
    // The table behind the handle; a null one raises, naming what was asked for.
    ITesselTable* live() const;

    QString m_missing; // on a null handle from a lookup: what was looked up
};
