#pragma once

#include <bimcore/platform/tessel/TesselInterfaces.h>
#include <bimcore/platform/tessel/TesselRef.h>
#include <bimcore/platform/tessel/tessel_export.h>

#include <QString>
#include <QVariant>
#include <QtGlobal>

// One record of a table: the record's own 64-bit identifier and one value per
// field. The handle refers to the table and the record's position in it (a
// copy refers to the same record). Values are read through the field's name
// or, cheaper, its position.
//
// Reading converts between storage classes where the value allows it and
// raises KRVException where it does not (a text that is no number read as an
// integer, a value outside the 32-bit range read with asInteger): a wrong
// value is never returned silently. An unknown field name, an index out of
// range and any operation on a null handle raise KRVException too.
class TESSEL_EXPORT TesselRecord : public TesselItemHandle<ITesselTable>
{
public:
    TesselRecord() = default;
    TesselRecord(ITesselTable* table, int row);
    // The record an identifier handler is given (a null pointer gives a null
    // record).
    explicit TesselRecord(ITesselRecord* record);

    // The record's own identifier.
    quint64 id64() const;

    int asInteger(const QString& field) const { return asInteger(fieldIndex(field)); }
    quint64 asUInt64(const QString& field) const { return asUInt64(fieldIndex(field)); }
    QString asString(const QString& field) const { return asString(fieldIndex(field)); }

    int asInteger(int field) const;
    qint64 asInt64(int field) const;
    quint64 asUInt64(int field) const;
    double asDouble(int field) const;
    QString asString(int field) const;
    // The value as its storage class gives it: int for int32 storage (bool for
    // tdtBoolean), qlonglong for tdtInt64 and tdtDateTime, double, QString.
    QVariant value(int field) const;

    // Setters convert the given value to the field's type with the same rules
    // as TesselFieldSchema::setDataType and raise KRVException when they
    // cannot; the stored value is then unchanged. An invalid or null QVariant
    // stores the type's empty value.
    void setInteger(int field, int value);
    void setInt64(int field, qint64 value);
    void setUInt64(int field, quint64 value);
    void setDouble(int field, double value);
    void setString(int field, const QString& value);
    void setValue(int field, const QVariant& value);

private:
    // Raises for an unknown name.
    int fieldIndex(const QString& name) const;
};
