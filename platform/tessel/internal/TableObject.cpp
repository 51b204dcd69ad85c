#include "TableObject.h"

#include "Errors.h"
#include "RecordObject.h"

#include <krvcommon/KObjectID.h>

#include <QVariant>

#include <limits>

TableObject::TableObject(ChangeLogPtr log, const QString& name, TesselTableKind kind)
    : m_log(std::move(log))
    , m_name(name)
    , m_kind(kind)
{
}

void TableObject::setKind(TesselTableKind kind)
{
    m_kind = kind;
    m_log->note();
}

const FieldDef& TableObject::field(int index) const
{
    checkIndex(index, fieldCount(), "field of table \"%1\",", m_name);
    return m_fields[static_cast<size_t>(index)];
}

int TableObject::requireField(const QString& name) const
{
    const int index = fieldIndex(name);
    if (index < 0)
        raiseError(QStringLiteral("table \"%1\" has no field \"%2\"").arg(m_name, name));
    return index;
}

int TableObject::addField(const QString& name, TesselDataType type)
{
    if (name.isEmpty())
        raiseError(QStringLiteral("a field of table \"%1\" needs a name").arg(m_name));
    if (m_fieldIndex.contains(name))
        raiseError(QStringLiteral("table \"%1\" already has a field \"%2\"").arg(m_name, name));
    if (!isKnownDataType(type))
        raiseError(QStringLiteral("field \"%1\" of table \"%2\": unknown data type %3")
                       .arg(name, m_name)
                       .arg(int(type)));
    FieldColumn column(storageOf(type));
    column.reserve(m_ids.size(), 0);
    for (size_t row = 0; row < m_ids.size(); ++row)
        column.appendEmpty();
    m_columns.push_back(std::move(column));
    m_fields.push_back(
        FieldDef { name, type, TesselRef<ExtPropDefListObject>(new ExtPropDefListObject(m_log)) });
    const int index = fieldCount() - 1;
    m_fieldIndex.insert(name, index);
    m_log->note();
    return index;
}

void TableObject::setFieldType(int index, TesselDataType type)
{
    const FieldDef& def = field(index);
    if (!isKnownDataType(type))
        raiseError(QStringLiteral("field \"%1\" of table \"%2\": unknown data type %3")
                       .arg(def.name, m_name)
                       .arg(int(type)));
    if (def.type == type) {
        m_log->note();
        return;
    }
    const FieldColumn& old = m_columns[static_cast<size_t>(index)];
    FieldColumn converted(storageOf(type));
    converted.reserve(m_ids.size(), old.storage() == Storage::Text ? old.texts.byteCount() : 0);
    for (size_t row = 0; row < m_ids.size(); ++row) {
        const CellValue value = old.cell(row);
        if (!converted.append(type, value))
            raiseError(QStringLiteral("table \"%1\", field \"%2\", %3: the value %4 cannot be "
                                      "converted to data type %5")
                           .arg(m_name, def.name, describeRecord(static_cast<int>(row)),
                               describeCell(value))
                           .arg(int(type)));
    }
    m_columns[static_cast<size_t>(index)] = std::move(converted);
    m_fields[static_cast<size_t>(index)].type = type;
    m_log->note();
}

void TableObject::setPrimaryKey(int index)
{
    if (index != -1)
        checkIndex(index, fieldCount(), "primary-key field of table \"%1\",", m_name);
    m_primaryKey = index;
    m_log->note();
}

void TableObject::checkRecord(int row) const
{
    checkIndex(row, recordCount(), "record of table \"%1\",", m_name);
}

void TableObject::setId(int row, quint64 id)
{
    checkRecord(row);
    m_ids[static_cast<size_t>(row)] = id;
    m_idIndex.reset();
    m_log->note();
}

CellValue TableObject::cell(int row, int field) const
{
    checkRecord(row);
    this->field(field);
    return m_columns[static_cast<size_t>(field)].cell(static_cast<size_t>(row));
}

void TableObject::storeCell(int row, int field, const CellValue& value)
{
    checkRecord(row);
    const FieldDef& def = this->field(field);
    if (!m_columns[static_cast<size_t>(field)].store(static_cast<size_t>(row), def.type, value))
        raiseError(QStringLiteral("table \"%1\", field \"%2\", %3: the value %4 does not fit "
                                  "data type %5")
                       .arg(m_name, def.name, describeRecord(row), describeCell(value))
                       .arg(int(def.type)));
    m_log->note();
}

bool TableObject::sameValues(int row, const TableObject& other, int otherRow) const
{
    checkRecord(row);
    other.checkRecord(otherRow);
    if (fieldCount() != other.fieldCount())
        return false;
    for (size_t f = 0; f < m_fields.size(); ++f) {
        if (m_fields[f].type != other.m_fields[f].type
            || !m_columns[f].equals(
                static_cast<size_t>(row), other.m_columns[f], static_cast<size_t>(otherRow)))
            return false;
    }
    return true;
}

int TableObject::appendEmptyRecord(quint64 id, bool indexId)
{
    if (m_ids.size() >= static_cast<size_t>(std::numeric_limits<int>::max()))
        raiseError(QStringLiteral("table \"%1\" cannot hold more records").arg(m_name));
    m_ids.push_back(id);
    for (FieldColumn& column : m_columns)
        column.appendEmpty();
    const int row = recordCount() - 1;
    if (indexId)
        noteIdInIndex(id, row);
    m_log->note();
    return row;
}

void TableObject::dropLastRecord()
{
    m_ids.pop_back();
    for (FieldColumn& column : m_columns)
        column.popBack();
    m_idIndex.reset();
}

quint64 TableObject::identifierFromHandler(int row)
{
    TesselRef<RecordObject> record(new RecordObject(this, row));
    QVariant value;
    m_handler.onQueryIDValue(record.get(), &value);
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
                       .arg(m_name, QLatin1String(value.typeName()), value.toString()));
    return id;
}

int TableObject::appendRecord()
{
    const int row = appendEmptyRecord(0, false);
    try {
        const quint64 id = m_handler ? identifierFromHandler(row) : KObjectID::NewID();
        m_ids[static_cast<size_t>(row)] = id;
        if (m_primaryKey >= 0 && m_fields[static_cast<size_t>(m_primaryKey)].type == tdtInt64)
            m_columns[static_cast<size_t>(m_primaryKey)].int64s[static_cast<size_t>(row)]
                = static_cast<qint64>(id);
        noteIdInIndex(id, row);
    } catch (...) {
        dropLastRecord();
        throw;
    }
    return row;
}

int TableObject::appendRecord(quint64 id)
{
    return appendEmptyRecord(id, true);
}

void TableObject::noteIdInIndex(quint64 id, int row)
{
    if (m_idIndex && !m_idIndex->contains(id))
        m_idIndex->insert(id, row);
}

void TableObject::reserveRecords(int count)
{
    if (count <= 0)
        return;
    m_ids.reserve(static_cast<size_t>(count));
    for (FieldColumn& column : m_columns)
        column.reserve(static_cast<size_t>(count), 0);
}

int TableObject::indexOfId(quint64 id) const
{
    if (!m_idIndex) {
        auto index = std::make_unique<QHash<quint64, int>>();
        index->reserve(recordCount());
        // Backwards, so that the first of equal identifiers wins.
        for (int row = recordCount() - 1; row >= 0; --row)
            index->insert(m_ids[static_cast<size_t>(row)], row);
        m_idIndex = std::move(index);
    }
    return m_idIndex->value(id, -1);
}

void TableObject::finishLoading()
{
    m_idIndex.reset();
}

QString TableObject::describeRecord(int row) const
{
    return QStringLiteral("record %1 (id %2)").arg(row).arg(m_ids[static_cast<size_t>(row)]);
}
