#include "TesselRecord.h"

#include "internal/TesselObjects.h"

#include <QByteArray>

namespace {

[[noreturn]] void cannotRead(
    const TableObject& table, int row, int field, const CellValue& value, const char* as)
{
    raiseError(QStringLiteral("table \"%1\", field \"%2\", %3: the value %4 cannot be read as %5")
                   .arg(table.name, table.field(field).name, table.describeRecord(row),
                       describeCell(value), QLatin1String(as)));
}

// Reads a cell through one of the conversions of Values.h; a value that does
// not convert raises rather than read as 0.
template <typename Value, typename Convert>
Value readCell(ITesselTable* handle, int row, int field, Convert convert, const char* as)
{
    const TableObject& table = objectOf<TableObject>(handle);
    const CellValue cell = table.cell(row, field);
    Value value = 0;
    if (!convert(cell, value))
        cannotRead(table, row, field, cell, as);
    return value;
}

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

} // namespace

TesselRecord::TesselRecord(ITesselTable* table, int row)
    : TesselItemHandle(table, row)
{
    objectOf<TableObject>(table).checkRecord(row);
}

TesselRecord::TesselRecord(ITesselRecord* record)
{
    if (record) {
        const RecordObject& found = objectOf<RecordObject>(record);
        *this = TesselRecord(found.table.get(), found.row);
    }
}

quint64 TesselRecord::id64() const
{
    const TableObject& table = objectOf<TableObject>(get());
    table.checkRecord(m_index);
    return table.ids[static_cast<size_t>(m_index)];
}

int TesselRecord::fieldIndex(const QString& name) const
{
    const TableObject& table = objectOf<TableObject>(get());
    const int index = table.fieldIndex(name);
    if (index < 0)
        raiseError(QStringLiteral("table \"%1\" has no field \"%2\"").arg(table.name, name));
    return index;
}

int TesselRecord::asInteger(int field) const
{
    return readCell<qint32>(get(), m_index, field, convertToInt32, "a 32-bit integer");
}

qint64 TesselRecord::asInt64(int field) const
{
    const auto convert
        = [](const CellValue& cell, qint64& value) { return convertToInt64(cell, value, true); };
    return readCell<qint64>(get(), m_index, field, convert, "a 64-bit integer");
}

quint64 TesselRecord::asUInt64(int field) const
{
    const bool keepsBits = objectOf<TableObject>(get()).field(field).type == tdtInt64;
    const auto convert = [keepsBits](const CellValue& cell, quint64& value) {
        // A 64-bit field keeps identifiers as their bit pattern.
        if (!keepsBits)
            return convertToUInt64(cell, value);
        value = static_cast<quint64>(cell.integer);
        return true;
    };
    return readCell<quint64>(get(), m_index, field, convert, "an unsigned 64-bit integer");
}

double TesselRecord::asDouble(int field) const
{
    return readCell<double>(get(), m_index, field, convertToDouble, "a number");
}

QString TesselRecord::asString(int field) const
{
    const CellValue cell = objectOf<TableObject>(get()).cell(m_index, field);
    return cell.kind == CellValue::Text ? fromUtf8(cell.text) : fromUtf8(convertToText(cell));
}

QVariant TesselRecord::value(int field) const
{
    const TableObject& table = objectOf<TableObject>(get());
    const CellValue cell = table.cell(m_index, field);
    switch (table.columns[static_cast<size_t>(field)].storage) {
    case Storage::Int32:
        if (table.fields[static_cast<size_t>(field)].type == tdtBoolean)
            return QVariant(cell.integer != 0);
        return QVariant(static_cast<int>(cell.integer));
    case Storage::Int64:
        return QVariant(static_cast<qlonglong>(cell.integer));
    case Storage::Double:
        return QVariant(cell.real);
    case Storage::Text:
        break;
    }
    return QVariant(asString(field));
}

void TesselRecord::setInteger(int field, int value)
{
    setInt64(field, value);
}

void TesselRecord::setInt64(int field, qint64 value)
{
    objectOf<TableObject>(get()).storeCell(m_index, field, CellValue::fromInteger(value));
}

void TesselRecord::setUInt64(int field, quint64 value)
{
    objectOf<TableObject>(get()).storeCell(m_index, field, CellValue::fromUnsigned(value));
}

void TesselRecord::setDouble(int field, double value)
{
    objectOf<TableObject>(get()).storeCell(m_index, field, CellValue::fromReal(value));
}

void TesselRecord::setString(int field, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    objectOf<TableObject>(get()).storeCell(m_index, field,
        CellValue::fromText(std::string_view(utf8.constData(), size_t(utf8.size()))));
}

void TesselRecord::setValue(int field, const QVariant& value)
{
    if (!value.isValid() || value.isNull()) {
        // The type's empty value.
        TableObject& table = objectOf<TableObject>(get());
        table.field(field);
        const bool text = table.columns[static_cast<size_t>(field)].storage == Storage::Text;
        table.storeCell(m_index, field, text ? CellValue::fromText({}) : CellValue::fromInteger(0));
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
        return setInt64(field, value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return setUInt64(field, value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return setDouble(field, value.toDouble());
    default:
        return setString(field, value.toString());
    }
}
