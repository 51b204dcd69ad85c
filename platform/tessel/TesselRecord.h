#pragma once

#include <bimcore/platform/tessel/TesselRef.h>
#include <QVariant>
#include <QtGlobal>

/// One record of a table: its 64-bit identifier and one value per field, read
/// by the field's name or position. Reading converts where the value allows it
/// and raises KRVException where it does not (a word read as a number, a value
/// outside the 32-bit range read with asInteger), as do unknown fields, indexes
/// out of range and null handles.
class TESSEL_EXPORT TesselRecord : public TesselItemHandle<ITesselTable>
{
public:
    TesselRecord() = default;
    TesselRecord(ITesselTable* table, int row);
    /// The record an identifier handler is given (a null pointer gives a null
    /// record).
    explicit TesselRecord(ITesselRecord* record);

    /// The record's own identifier.
    quint64 id64() const;

    int asInteger(const QString& field) const { return asInteger(fieldIndex(field)); }
    quint64 asUInt64(const QString& field) const { return asUInt64(fieldIndex(field)); }
    QString asString(const QString& field) const { return asString(fieldIndex(field)); }

    int asInteger(int field) const;
    qint64 asInt64(int field) const;
    quint64 asUInt64(int field) const;
    double asDouble(int field) const;
    QString asString(int field) const;
    /// bool, int, qlonglong (tdtInt64, tdtDateTime), double or QString, by type.
    QVariant value(int field) const;

    /// Setters convert as TesselFieldSchema::setDataType does and raise
    /// KRVException, keeping the old value, when they cannot. A null QVariant
    /// stores the type's empty value.
    void setInteger(int field, int value);
    void setInt64(int field, qint64 value);
    void setUInt64(int field, quint64 value);
    void setDouble(int field, double value);
    void setString(int field, const QString& value);
    void setValue(int field, const QVariant& value);

private:
    /// Raises for an unknown name.
    int fieldIndex(const QString& name) const;
};
