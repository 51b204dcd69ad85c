#include "TesselRecord.h"

#include "internal/Errors.h"
#include "internal/RecordObject.h"
#include "internal/TableObject.h"

#include <QByteArray>

namespace {

TableObject* object(const TesselRef<ITesselTable>& table)
{
    checkHandle(table.get(), "record");
    return TableObject::from(table.get());
}

[[noreturn]] void cannotRead(
    const TableObject& table, int row, int field, const CellValue& value, const char* as)
{
    raiseError(QStringLiteral("table \"%1\", field \"%2\", %3: the value %4 cannot be read as %5")
                   .arg(table.name(), table.field(field).name, table.describeRecord(row),
                       describeCell(value), QLatin1String(as)));
}

// Reads a cell through one of the conversions of CellValue.h; a value that
// does not convert raises rather than read as 0.
template <typename Value, typename Convert>
Value readCell(const TableObject& table, int row, int field, Convert convert, const char* as)
{
    const CellValue cell = table.cell(row, field);
    Value value = 0;
    if (!convert(cell, value))
        cannotRead(table, row, field, cell, as);
    return value;
}

} // namespace

TesselRecord::TesselRecord(ITesselTable* table, int row)
    : m_table(table)
    , m_row(row)
{
}

TesselRecord::TesselRecord(ITesselRecord* record)
{
    if (record) {
        RecordObject* found = RecordObject::from(record);
        m_table = TesselRef<ITesselTable>(found->table());
        m_row = found->row();
    }
}

quint64 TesselRecord::id64() const
{
    TableObject* table = object(m_table);
    table->checkRecord(m_row);
    return table->id(m_row);
}

void TesselRecord::setId64(quint64 id)
{
    object(m_table)->setId(m_row, id);
}

int TesselRecord::fieldCount() const
{
    return object(m_table)->fieldCount();
}

int TesselRecord::asInteger(const QString& field) const
{
    return asInteger(object(m_table)->requireField(field));
}

qint64 TesselRecord::asInt64(const QString& field) const
{
    return asInt64(object(m_table)->requireField(field));
}

quint64 TesselRecord::asUInt64(const QString& field) const
{
    return asUInt64(object(m_table)->requireField(field));
}

double TesselRecord::asDouble(const QString& field) const
{
    return asDouble(object(m_table)->requireField(field));
}

QString TesselRecord::asString(const QString& field) const
{
    return asString(object(m_table)->requireField(field));
}

QVariant TesselRecord::value(const QString& field) const
{
    return value(object(m_table)->requireField(field));
}

int TesselRecord::asInteger(int field) const
{
    return readCell<qint32>(*object(m_table), m_row, field, convertToInt32, "a 32-bit integer");
}

qint64 TesselRecord::asInt64(int field) const
{
    const auto convert
        = [](const CellValue& cell, qint64& value) { return convertToInt64(cell, value, true); };
    return readCell<qint64>(*object(m_table), m_row, field, convert, "a 64-bit integer");
}

quint64 TesselRecord::asUInt64(int field) const
{
    const TableObject* table = object(m_table);
    const CellValue cell = table->cell(m_row, field);
    // A 64-bit field keeps identifiers as their bit pattern.
    if (table->field(field).type == tdtInt64)
        return static_cast<quint64>(cell.integer);
    quint64 value = 0;
    if (!convertToUInt64(cell, value))
        cannotRead(*table, m_row, field, cell, "an unsigned 64-bit integer");
    return value;
}

double TesselRecord::asDouble(int field) const
{
    return readCell<double>(*object(m_table), m_row, field, convertToDouble, "a number");
}

QString TesselRecord::asString(int field) const
{
    const TableObject* table = object(m_table);
    const CellValue cell = table->cell(m_row, field);
    if (cell.kind == CellValue::Text)
        return QString::fromUtf8(cell.text.data(), static_cast<int>(cell.text.size()));
    const std::string text = convertToText(cell);
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

QVariant TesselRecord::value(int field) const
{
    const TableObject* table = object(m_table);
    const CellValue cell = table->cell(m_row, field);
    switch (table->column(field).storage()) {
    case Storage::Int32:
        if (table->field(field).type == tdtBoolean)
            return QVariant(cell.integer != 0);
        return QVariant(static_cast<int>(cell.integer));
    case Storage::Int64:
        return QVariant(static_cast<qlonglong>(cell.integer));
    case Storage::Double:
        return QVariant(cell.real);
    case Storage::Text:
        return QVariant(QString::fromUtf8(cell.text.data(), static_cast<int>(cell.text.size())));
    }
    return {};
}

void TesselRecord::setInteger(int field, int value)
{
    object(m_table)->storeCell(m_row, field, CellValue::fromInteger(value));
}

void TesselRecord::setInt64(int field, qint64 value)
{
    object(m_table)->storeCell(m_row, field, CellValue::fromInteger(value));
}

void TesselRecord::setUInt64(int field, quint64 value)
{
    object(m_table)->storeCell(m_row, field, CellValue::fromUnsigned(value));
}

void TesselRecord::setDouble(int field, double value)
{
    object(m_table)->storeCell(m_row, field, CellValue::fromReal(value));
}

void TesselRecord::setString(int field, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    object(m_table)->storeCell(
        m_row, field, CellValue::fromText(std::string_view(utf8.constData(), size_t(utf8.size()))));
}

void TesselRecord::setValue(int field, const QVariant& value)
{
    TableObject* table = object(m_table);
    if (!value.isValid() || value.isNull()) {
        // The type's empty value.
        table->storeCell(m_row, field,
            table->column(field).storage() == Storage::Text ? CellValue::fromText({})
                                                            : CellValue::fromInteger(0));
        return;
    }
    switch (value.userType()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Long:
    case QMetaType::LongLong:
        setInt64(field, value.toLongLong());
        return;
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        setUInt64(field, value.toULongLong());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        setDouble(field, value.toDouble());
        return;
    default:
        setString(field, value.toString());
        return;
    }
}

void TesselRecord::setValue(const QString& field, const QVariant& value)
{
    setValue(object(m_table)->requireField(field), value);
}

bool TesselRecord::sameValues(const TesselRecord& other) const
{
    const TableObject* table = object(m_table);
    const TableObject* otherTable = object(other.m_table);
    return table->sameValues(m_row, *otherTable, other.m_row);
}
