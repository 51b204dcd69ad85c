#include "TesselObjects.h"
#include <bimcore/platform/krvcommon/KRVException.h>
#include <limits>

void raiseError(const QString& message)
{
    throw KRVException(message);
}

void checkIndex(int index, int count, const char* what, const QString& owner)
{
    if (index >= 0 && index < count)
        return;
    QString item = QString::fromUtf8(what);
    if (!owner.isNull())
        item = item.arg(owner);
    raiseError(
        QStringLiteral("%1 index %2 is out of range (count %3)").arg(item).arg(index).arg(count));
}

const FieldDef& TableObject::field(int index) const
{
    checkIndex(index, static_cast<int>(fields.size()), "field of table \"%1\",", name);
    return fields[static_cast<size_t>(index)];
}

int TableObject::fieldIndex(const QString& fieldName) const
{
    for (size_t f = 0; f < fields.size(); ++f) {
        if (fields[f].name == fieldName)
            return static_cast<int>(f);
    }
    return -1;
}

void TableObject::checkRecord(int row) const
{
    checkIndex(row, recordCount(), "record of table \"%1\",", name);
}

CellValue TableObject::cell(int row, int field) const
{
    checkRecord(row);
    this->field(field);
    return valueAt(columns[size_t(field)], size_t(row));
}

void TableObject::storeCell(int row, int field, const CellValue& value)
{
    checkRecord(row);
    const FieldDef& def = this->field(field);
    std::optional<CellValue> stored = storedFor(value, def.type);
    if (!stored)
        raiseError(QStringLiteral("table \"%1\", field \"%2\", %3: the value %4 does not fit "
                                  "data type %5")
                       .arg(name, def.name, describeRecord(row), describe(value))
                       .arg(int(def.type)));
    setValueAt(columns[size_t(field)], size_t(row), std::move(*stored));
}

int TableObject::appendRecord(quint64 id)
{
    if (ids.size() >= static_cast<size_t>(std::numeric_limits<int>::max()))
        raiseError(QStringLiteral("table \"%1\" cannot hold more records").arg(name));
    ids.push_back(id);
    for (Column& column : columns)
        std::visit([](auto& values) { values.emplace_back(); }, column);
    return recordCount() - 1;
}

QString TableObject::describeRecord(int row) const
{
    return QStringLiteral("record %1 (id %2)").arg(row).arg(ids[static_cast<size_t>(row)]);
}
