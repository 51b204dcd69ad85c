#include "TesselRecord.h"
#include "internal/TesselObjects.h"
#include <limits>

namespace {
// Reads a cell through one of the conversions of CellValue.h; a value that
// does not convert raises rather than read as 0.
template <typename Value, typename Convert>
Value readCell(ITesselTable* handle, int row, int field, Convert convert, const char* as)
{
    const TableObject& table = objectOf<TableObject>(handle);
    const CellValue cell = table.cell(row, field);
    const std::optional<Value> value = convert(cell);
    if (!value)
        raiseError(
            QStringLiteral("table \"%1\", field \"%2\", %3: the value %4 cannot be read as %5")
                .arg(table.name, table.field(field).name, table.describeRecord(row), describe(cell),
                    QLatin1String(as)));
    return *value;
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
    const auto convert = [](const CellValue& cell) {
        const std::optional<qint64> value = toInt64(cell);
        return value && *value == qint32(*value) ? std::optional<int>(int(*value)) : std::nullopt;
    };
    return readCell<int>(get(), m_index, field, convert, "a 32-bit integer");
}

qint64 TesselRecord::asInt64(int field) const
{
    const auto convert = [](const CellValue& cell) { return toInt64(cell, true); };
    return readCell<qint64>(get(), m_index, field, convert, "a 64-bit integer");
}

quint64 TesselRecord::asUInt64(int field) const
{
    const bool keepsBits = objectOf<TableObject>(get()).field(field).type == tdtInt64;
    const auto convert = [keepsBits](const CellValue& cell) {
        // A 64-bit field keeps identifiers as their bit pattern.
        return keepsBits ? std::optional<quint64>(quint64(std::get<qint64>(cell)))
                         : toUInt64(cell);
    };
    return readCell<quint64>(get(), m_index, field, convert, "an unsigned 64-bit integer");
}

double TesselRecord::asDouble(int field) const
{
    return readCell<double>(get(), m_index, field, toDouble, "a number");
}

QString TesselRecord::asString(int field) const
{
    return toText(objectOf<TableObject>(get()).cell(m_index, field));
}

QVariant TesselRecord::value(int field) const
{
    const TableObject& table = objectOf<TableObject>(get());
    const CellValue cell = table.cell(m_index, field);
    switch (table.fields[size_t(field)].type) {
    case tdtBoolean:
        return QVariant(std::get<qint64>(cell) != 0);
    case tdtInt32:
        return QVariant(int(std::get<qint64>(cell)));
    case tdtInt64:
    case tdtDateTime:
        return QVariant(qlonglong(std::get<qint64>(cell)));
    case tdtDouble:
        return QVariant(std::get<double>(cell));
    default:
        return QVariant(std::get<QString>(cell));
    }
}

void TesselRecord::setInteger(int field, int value)
{
    setInt64(field, value);
}

void TesselRecord::setInt64(int field, qint64 value)
{
    objectOf<TableObject>(get()).storeCell(m_index, field, value);
}

void TesselRecord::setUInt64(int field, quint64 value)
{
    // Above the signed range as its digits: a 64-bit field keeps their bit
    // pattern, a text field the digits, a double field their number.
    if (value > quint64(std::numeric_limits<qint64>::max()))
        return setString(field, QString::number(value));
    setInt64(field, qint64(value));
}

void TesselRecord::setDouble(int field, double value)
{
    objectOf<TableObject>(get()).storeCell(m_index, field, value);
}

void TesselRecord::setString(int field, const QString& value)
{
    objectOf<TableObject>(get()).storeCell(m_index, field, value);
}

void TesselRecord::setValue(int field, const QVariant& value)
{
    if (!value.isValid() || value.isNull()) {
        TableObject& table = objectOf<TableObject>(get());
        table.storeCell(m_index, field, emptyValueOf(table.field(field).type));
        return;
    }
    const int type = value.userType();
    if (type == QMetaType::Double || type == QMetaType::Float)
        return setDouble(field, value.toDouble());
    if (type == QMetaType::ULongLong || type == QMetaType::UInt || type == QMetaType::ULong)
        return setUInt64(field, value.toULongLong());
    bool whole = false;
    const qlonglong number = value.toLongLong(&whole);
    if (whole && type != QMetaType::QString && type != QMetaType::QByteArray)
        return setInt64(field, number);
    setString(field, value.toString());
}
