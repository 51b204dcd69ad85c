#include "TesselTable.h"
#include "TesselExtPropDefs.h"
#include "TesselQueryIDValueImpl.h"
#include "internal/TesselObjects.h"

#include <bimcore/platform/krvcommon/KObjectID.h>

#include <QVariant>

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
    bool ok = false;
    quint64 id = 0;
    switch (value.userType()) {
    case QMetaType::ULongLong:
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
        id = value.toULongLong(&ok);
        break;
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Short:
        ok = value.toLongLong() >= 0;
        id = static_cast<quint64>(value.toLongLong());
        break;
    case QMetaType::QString: {
        const QByteArray text = value.toString().toUtf8();
        ok = convertToUInt64(
                 CellValue::fromText(std::string_view(text.data(), size_t(text.size()))), id)
            && !text.trimmed().isEmpty();
        break;
    }
    default:
        break;
    }
    if (!ok)
        raiseError(QStringLiteral("the identifier handler of table \"%1\" gave %2 \"%3\", which "
                                  "is no unsigned 64-bit identifier")
                       .arg(table.name, QLatin1String(value.typeName()), value.toString()));
    return id;
}

ExtPropDef& definitionOf(ITesselExtPropDefs* list, int index)
{
    std::vector<ExtPropDef>& items = objectOf<ExtPropDefListObject>(list).items;
    checkIndex(index, static_cast<int>(items.size()), "extended property definition");
    return items[static_cast<size_t>(index)];
}

} // namespace

QString TesselTable::name() const
{
    return objectOf<TableObject>(get()).name;
}

TesselTableKind TesselTable::tableKind() const
{
    return objectOf<TableObject>(get()).tableKind;
}

void TesselTable::setOnQueryIDValue(const TesselQueryIDValueEvent& handler)
{
    objectOf<TableObject>(get()).handler = handler;
}

TesselQueryIDValueEvent TesselTable::onQueryIDValue() const
{
    return objectOf<TableObject>(get()).handler;
}

int TesselTable::recordCount() const
{
    return objectOf<TableObject>(get()).recordCount();
}

TesselRecord TesselTable::operator[](int index) const
{
    return TesselRecord(get(), index);
}

TesselRecord TesselTable::appendRecord()
{
    TableObject& table = objectOf<TableObject>(get());
    const int row = table.appendRecord(0);
    try {
        const quint64 id = table.handler ? identifierFromHandler(table, row) : KObjectID::NewID();
        table.ids[static_cast<size_t>(row)] = id;
        const int key = table.primaryKey;
        if (key >= 0 && table.fields[static_cast<size_t>(key)].type == tdtInt64)
            table.columns[static_cast<size_t>(key)].int64s[static_cast<size_t>(row)]
                = static_cast<qint64>(id);
    } catch (...) {
        table.ids.pop_back();
        for (FieldColumn& column : table.columns)
            column.popBack();
        throw;
    }
    return TesselRecord(&table, row);
}

TesselRecord TesselTable::appendRecord(quint64 id)
{
    TableObject& table = objectOf<TableObject>(get());
    return TesselRecord(&table, table.appendRecord(id));
}

void TesselTable::reserveRecords(int count)
{
    TableObject& table = objectOf<TableObject>(get());
    const auto rows = static_cast<size_t>(std::max(count, 0));
    table.ids.reserve(rows);
    for (FieldColumn& column : table.columns)
        column.reserve(rows);
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
    FieldColumn column(storageOf(type));
    column.reserve(table.ids.size());
    for (size_t row = 0; row < table.ids.size(); ++row)
        column.appendEmpty();
    table.columns.push_back(std::move(column));
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
    const auto refuse = [&](size_t row, const CellValue& value) {
        raiseError(
            QStringLiteral("table \"%1\", field \"%2\", %3: the value %4 cannot be "
                           "converted to data type %5")
                .arg(table.name, field.name, table.describeRecord(int(row)), describeCell(value))
                .arg(int(type)));
    };
    // Converted into a new column, so that a refused value leaves the old one.
    FieldColumn& old = table.columns[static_cast<size_t>(m_index)];
    FieldColumn converted(storageOf(type));
    if (type == tdtInt64 && old.storage == Storage::Text && old.texts.decimalCoded()) {
        // Texts kept as numbers are these numbers already: only the others
        // convert, first of all, since a refusal must leave the column as it
        // was.
        std::vector<std::pair<size_t, qint64>> others(old.texts.textRowCount());
        for (size_t i = 0; i < others.size(); ++i) {
            const CellValue value = CellValue::fromText(old.texts.textOfTextRow(i));
            others[i].first = old.texts.textRow(i);
            // As FieldColumn::store converts for this type.
            if (!convertToInt64(value, others[i].second, true))
                refuse(others[i].first, value);
        }
        converted.int64s = old.texts.takeNumbers();
        for (const auto& [row, number] : others)
            converted.int64s[row] = number;
    } else {
        converted.reserve(table.ids.size());
        for (size_t row = 0; row < table.ids.size(); ++row) {
            const CellValue value = old.cell(row);
            converted.appendEmpty();
            if (!converted.store(row, type, value))
                refuse(row, value);
        }
    }
    table.columns[static_cast<size_t>(m_index)] = std::move(converted);
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

TesselQueryIDValueImpl::TesselQueryIDValueImpl() = default;

TesselQueryIDValueImpl::~TesselQueryIDValueImpl() = default;

long TesselQueryIDValueImpl::QueryInterface(const KInterfaceId& iid, void** object)
{
    return KNoRefInterfaceObject::QueryInterface(iid, object);
}

unsigned long TesselQueryIDValueImpl::AddRef()
{
    return KNoRefInterfaceObject::AddRef();
}

unsigned long TesselQueryIDValueImpl::Release()
{
    return KNoRefInterfaceObject::Release();
}

long TesselQueryIDValueImpl::_QueryInterface(const KInterfaceId& iid, void** object)
{
    if (object && iid == ITesselQueryIDValueEvent::iid()) {
        *object = static_cast<ITesselQueryIDValueEvent*>(this);
        return K_OK;
    }
    return KNoRefInterfaceObject::_QueryInterface(iid, object);
}

void TesselQueryIDValueImpl::doQueryIDValue(ITesselRecord*, QVariant*) { }

void TesselQueryIDValueImpl::onQueryIDValue(ITesselRecord* record, QVariant* value)
{
    doQueryIDValue(record, value);
}
