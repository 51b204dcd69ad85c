#include "TesselTable.h"
#include "TesselQueryIDValueImpl.h"
#include "internal/TesselObjects.h"
#include <bimcore/platform/krvcommon/KObjectID.h>
#include <algorithm>

namespace {
void checkDataType(const TableObject& table, const QString& field, TesselDataType type)
{
    if (!isKnownDataType(type))
        raiseError(QStringLiteral("field \"%1\" of table \"%2\": unknown data type %3")
                       .arg(field, table.name)
                       .arg(int(type)));
}

quint64 identifierFromHandler(TableObject& table, int row)
{
    const TesselRef<RecordObject> record = makeObject<RecordObject>();
    record->table = TesselRef<TableObject>(&table);
    record->row = row;
    QVariant value;
    table.handler.onQueryIDValue(record.get(), &value);
    if (!value.isValid() || value.isNull())
        return KObjectID::NewID();
    // Whole numbers and their texts; doubles and booleans are no identifiers.
    const QString text = value.toString().trimmed();
    const bool number = value.userType() != QMetaType::Double && value.userType() != QMetaType::Bool;
    const std::optional<quint64> id
        = number && !text.isEmpty() ? toUInt64(CellValue(text)) : std::nullopt;
    if (!id)
        raiseError(QStringLiteral("the identifier handler of table \"%1\" gave %2 \"%3\", which "
                                  "is no unsigned 64-bit identifier")
                       .arg(table.name, QLatin1String(value.typeName()), value.toString()));
    return *id;
}

ExtPropDef& definitionOf(ITesselExtPropDefs* list, int index)
{
    std::vector<ExtPropDef>& items = objectOf<ExtPropDefListObject>(list).items;
    checkIndex(index, static_cast<int>(items.size()), "extended property definition");
    return items[static_cast<size_t>(index)];
}
} // namespace

TesselTable TesselTable::missing(const QString& database, const QString& table)
{
    TesselTable handle;
    handle.m_missing = QStringLiteral("table \"%1\" of database \"%2\"").arg(table, database);
    return handle;
}

ITesselTable* TesselTable::live() const
{
    if (isNull() && !m_missing.isEmpty())
        raiseError(QStringLiteral("operation on a null table handle: no %1").arg(m_missing));
    return get();
}

QString TesselTable::name() const
{
    return objectOf<TableObject>(live()).name;
}

TesselTableKind TesselTable::tableKind() const
{
    return objectOf<TableObject>(live()).tableKind;
}

void TesselTable::setOnQueryIDValue(const TesselQueryIDValueEvent& handler)
{
    objectOf<TableObject>(live()).handler = handler;
}

TesselQueryIDValueEvent TesselTable::onQueryIDValue() const
{
    return objectOf<TableObject>(live()).handler;
}

int TesselTable::recordCount() const
{
    return objectOf<TableObject>(live()).recordCount();
}

TesselRecord TesselTable::operator[](int index) const
{
    return TesselRecord(live(), index);
}

TesselRecord TesselTable::appendRecord()
{
    TableObject& table = objectOf<TableObject>(live());
    const int row = table.appendRecord(0);
    try {
        const quint64 id = table.handler ? identifierFromHandler(table, row) : KObjectID::NewID();
        table.ids[static_cast<size_t>(row)] = id;
        const int key = table.primaryKey;
        if (key >= 0 && table.fields[size_t(key)].type == tdtInt64)
            setValueAt(table.columns[size_t(key)], size_t(row), qint64(id));
    } catch (...) {
        table.ids.pop_back();
        for (Column& column : table.columns)
            std::visit([](auto& values) { values.pop_back(); }, column);
        throw;
    }
    return TesselRecord(&table, row);
}

TesselRecord TesselTable::appendRecord(quint64 id)
{
    TableObject& table = objectOf<TableObject>(live());
    return TesselRecord(&table, table.appendRecord(id));
}

void TesselTable::reserveRecords(int count)
{
    TableObject& table = objectOf<TableObject>(live());
    const auto rows = static_cast<size_t>(std::max(count, 0));
    table.ids.reserve(rows);
    for (Column& column : table.columns)
        std::visit([rows](auto& values) { values.reserve(rows); }, column);
}

int TesselTableSchema::primaryKeyFieldIndex() const
{
    return objectOf<TableObject>(get()).primaryKey;
}

void TesselTableSchema::setPrimaryKeyFieldIndex(int index)
{
    TableObject& table = objectOf<TableObject>(get());
    if (index != -1)
        table.field(index);
    table.primaryKey = index;
}

int TesselTableSchema::fieldIndex(const QString& name) const
{
    return objectOf<TableObject>(get()).fieldIndex(name);
}

int TesselFieldSchemas::count() const
{
    return static_cast<int>(objectOf<TableObject>(get()).fields.size());
}

TesselFieldSchema TesselFieldSchemas::add(const QString& name, TesselDataType type)
{
    TableObject& table = objectOf<TableObject>(get());
    if (name.isEmpty())
        raiseError(QStringLiteral("a field of table \"%1\" needs a name").arg(table.name));
    if (table.fieldIndex(name) >= 0)
        raiseError(QStringLiteral("table \"%1\" already has a field \"%2\"").arg(table.name, name));
    checkDataType(table, name, type);
    table.columns.push_back(columnOf(type, table.ids.size()));
    table.fields.push_back(FieldDef { name, type });
    return TesselFieldSchema(&table, static_cast<int>(table.fields.size()) - 1);
}

TesselFieldSchema::TesselFieldSchema(ITesselTable* table, int fieldIndex)
    : TesselItemHandle(table, fieldIndex)
{
    objectOf<TableObject>(table).field(fieldIndex);
}

QString TesselFieldSchema::name() const
{
    return objectOf<TableObject>(get()).field(m_index).name;
}

TesselDataType TesselFieldSchema::dataType() const
{
    return objectOf<TableObject>(get()).field(m_index).type;
}

void TesselFieldSchema::setDataType(const TesselDataType& type)
{
    TableObject& table = objectOf<TableObject>(get());
    const FieldDef& field = table.field(m_index);
    checkDataType(table, field.name, type);
    if (field.type == type)
        return;
    // Converted into a new column, so that a refused value leaves the old one.
    Column converted = columnOf(type, table.ids.size());
    for (size_t row = 0; row < table.ids.size(); ++row) {
        const CellValue old = valueAt(table.columns[size_t(m_index)], row);
        std::optional<CellValue> value = storedFor(old, type);
        if (!value)
            raiseError(QStringLiteral("table \"%1\", field \"%2\", %3: the value %4 cannot be "
                                      "converted to data type %5")
                           .arg(table.name, field.name, table.describeRecord(int(row)),
                               describe(old))
                           .arg(int(type)));
        setValueAt(converted, row, std::move(*value));
    }
    table.columns[size_t(m_index)] = std::move(converted);
    table.fields[static_cast<size_t>(m_index)].type = type;
}

TesselExtPropDefs TesselFieldSchema::extPropDefs() const
{
    return TesselExtPropDefs(objectOf<TableObject>(get()).field(m_index).extPropDefs.get());
}

int TesselExtPropDefs::count() const
{
    return static_cast<int>(objectOf<ExtPropDefListObject>(get()).items.size());
}

TesselExtPropDef TesselExtPropDefs::find(const QString& code) const
{
    const std::vector<ExtPropDef>& items = objectOf<ExtPropDefListObject>(get()).items;
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].code == code)
            return TesselExtPropDef(get(), static_cast<int>(i));
    }
    return TesselExtPropDef();
}

TesselExtPropDef TesselExtPropDefs::add()
{
    std::vector<ExtPropDef>& items = objectOf<ExtPropDefListObject>(get()).items;
    items.emplace_back();
    return TesselExtPropDef(get(), static_cast<int>(items.size()) - 1);
}

TesselExtPropDef::TesselExtPropDef(ITesselExtPropDefs* list, int index)
    : TesselItemHandle(list, index)
{
    definitionOf(list, index);
}

QString TesselExtPropDef::code() const
{
    return definitionOf(get(), m_index).code;
}

QString TesselExtPropDef::value() const
{
    return definitionOf(get(), m_index).value;
}

void TesselExtPropDef::setCode(const QString& code)
{
    definitionOf(get(), m_index).code = code;
}

void TesselExtPropDef::setValue(const QString& value)
{
    definitionOf(get(), m_index).value = value;
}

const KInterfaceId& ITesselQueryIDValueEvent::iid()
{
    static const KInterfaceId id(QStringLiteral("{6b1f3c52-8e0d-4a57-9d3e-2f4c81a7b915}"));
    return id;
}

void TesselQueryIDValueEvent::onQueryIDValue(ITesselRecord* record, QVariant* value) const
{
    if (isNull())
        raiseError(QStringLiteral("operation on a null identifier handler handle"));
    get()->onQueryIDValue(record, value);
}

long TesselQueryIDValueImpl::_QueryInterface(const KInterfaceId& iid, void** object)
{
    if (object && iid == ITesselQueryIDValueEvent::iid()) {
        *object = static_cast<ITesselQueryIDValueEvent*>(this);
        return K_OK;
    }
    return KNoRefInterfaceObject::_QueryInterface(iid, object);
}
