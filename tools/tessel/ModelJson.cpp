#include "ModelJson.h"

#include "JsonError.h"
#include "JsonReader.h"

#include <krvcommon/KRVException.h>
#include <tessel/Tessel.h>

#include <QLocale>

#include <cmath>
#include <limits>

namespace {

[[noreturn]] void failAt(const JsonValue& value, const QString& message)
{
    throw JsonError(message, value.line, value.column);
}

const JsonValue& require(const JsonValue& value, JsonValue::Type type, const QString& what)
{
    if (value.type != type)
        failAt(value,
            QStringLiteral("%1 must be %2, not %3")
                .arg(what, QLatin1String(JsonValue::typeName(type)),
                    QLatin1String(JsonValue::typeName(value.type))));
    return value;
}

void allowOnly(
    const JsonValue& object, std::initializer_list<const char*> names, const QString& what)
{
    for (const auto& member : object.members) {
        bool known = false;
        for (const char* name : names)
            known = known || member.first == QLatin1String(name);
        if (!known)
            failAt(member.second,
                QStringLiteral("unknown member \"%1\" in %2").arg(member.first, what));
    }
}

const JsonValue* optional(
    const JsonValue& object, const char* name, JsonValue::Type type, const QString& what)
{
    const JsonValue* found = object.member(QLatin1String(name));
    if (found)
        require(*found, type, QStringLiteral("\"%1\" of %2").arg(QLatin1String(name), what));
    return found;
}

const JsonValue& mandatory(
    const JsonValue& object, const char* name, JsonValue::Type type, const QString& what)
{
    const JsonValue* found = optional(object, name, type, what);
    if (!found)
        failAt(object, QStringLiteral("%1 lacks \"%2\"").arg(what, QLatin1String(name)));
    return *found;
}

bool isIntegerLiteral(const QString& text)
{
    return !text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e'))
        && !text.contains(QLatin1Char('E'));
}

// A whole number given as a JSON number or a decimal string.
quint64 unsignedValue(const JsonValue& value, const QString& what)
{
    const bool number = value.type == JsonValue::Number && isIntegerLiteral(value.text);
    bool ok = false;
    const quint64 result = value.text.trimmed().toULongLong(&ok);
    if ((!number && value.type != JsonValue::String) || !ok
        || value.text.trimmed().startsWith(QLatin1Char('+')))
        failAt(value,
            QStringLiteral("%1 must be a whole number from 0 to 18446744073709551615").arg(what));
    return result;
}

int intValue(const JsonValue& value, const QString& what, int low, int high)
{
    bool ok = false;
    const qint64 result = value.text.toLongLong(&ok);
    if (value.type != JsonValue::Number || !isIntegerLiteral(value.text) || !ok || result < low
        || result > high)
        failAt(value,
            QStringLiteral("%1 must be a whole number from %2 to %3").arg(what).arg(low).arg(high));
    return int(result);
}

TesselDataType dataType(const JsonValue& value, const QString& what)
{
    static const std::pair<const char*, TesselDataType> names[] = { { "bool", tdtBoolean },
        { "int32", tdtInt32 }, { "int64", tdtInt64 }, { "double", tdtDouble },
        { "string", tdtString }, { "datetime", tdtDateTime }, { "guid", tdtGuid } };
    if (value.type == JsonValue::String) {
        for (const auto& entry : names) {
            if (value.text == QLatin1String(entry.first))
                return entry.second;
        }
        failAt(value,
            QStringLiteral("%1: unknown type \"%2\" (bool, int32, int64, double, string, "
                           "datetime, guid or a type number)")
                .arg(what, value.text));
    }
    const int number = intValue(value, what, 0, 64);
    for (const auto& entry : names) {
        if (entry.second == number)
            return entry.second;
    }
    failAt(value, QStringLiteral("%1: unknown type number %2").arg(what).arg(number));
}

void readExtPropDefs(const JsonValue* list, TesselExtPropDefs target, const QString& what)
{
    if (!list)
        return;
    const QString itemWhat = QStringLiteral("an extended property definition of %1").arg(what);
    for (const JsonValue& item : list->items) {
        require(item, JsonValue::Object, itemWhat);
        allowOnly(item, { "code", "value" }, itemWhat);
        TesselExtPropDef definition = target.add();
        definition.setCode(mandatory(item, "code", JsonValue::String, itemWhat).text);
        const JsonValue* value = optional(item, "value", JsonValue::String, itemWhat);
        definition.setValue(value ? value->text : QString());
    }
}

void storeValue(TesselRecord& record, int field, TesselDataType type, const JsonValue& value)
{
    try {
        switch (value.type) {
        case JsonValue::Number:
            if (!isIntegerLiteral(value.text)) {
                record.setDouble(field, value.text.toDouble());
            } else if (value.text.startsWith(QLatin1Char('-'))) {
                bool ok = false;
                const qint64 number = value.text.toLongLong(&ok);
                if (!ok)
                    failAt(value,
                        QStringLiteral("the number %1 is below the 64-bit range").arg(value.text));
                record.setInt64(field, number);
            } else {
                bool ok = false;
                const quint64 number = value.text.toULongLong(&ok);
                if (!ok)
                    failAt(value,
                        QStringLiteral("the number %1 is above the 64-bit range").arg(value.text));
                record.setUInt64(field, number);
            }
            return;
        case JsonValue::String:
            record.setString(field, value.text);
            return;
        case JsonValue::Boolean:
            if (type == tdtString || type == tdtGuid)
                record.setString(
                    field, value.boolean ? QStringLiteral("true") : QStringLiteral("false"));
            else
                record.setInteger(field, value.boolean ? 1 : 0);
            return;
        default:
            failAt(value,
                QStringLiteral("a field value must be a number, a string or a boolean, not %1")
                    .arg(QLatin1String(JsonValue::typeName(value.type))));
        }
    } catch (const KRVException& e) {
        failAt(value, e.message());
    }
}

void readTable(const JsonValue& json, TesselDatabase database)
{
    const QString what = QStringLiteral("a table");
    require(json, JsonValue::Object, what);
    allowOnly(json, { "name", "kind", "primaryKey", "fields", "records" }, what);
    const JsonValue& name = mandatory(json, "name", JsonValue::String, what);
    const QString tableWhat = QStringLiteral("table \"%1\"").arg(name.text);
    const JsonValue* kind = optional(json, "kind", JsonValue::Number, tableWhat);
    const int kindValue
        = kind ? intValue(*kind, QStringLiteral("the kind"), ttkOrdinary, ttkSystem) : ttkOrdinary;
    TesselTable table;
    try {
        table = database.addTable(name.text, static_cast<TesselTableKind>(kindValue));
    } catch (const KRVException& e) {
        failAt(name, e.message());
    }
    TesselFieldSchemas fields = table.tableSchema().fieldSchemas();
    std::vector<TesselDataType> types;
    if (const JsonValue* list = optional(json, "fields", JsonValue::Array, tableWhat)) {
        const QString fieldWhat = QStringLiteral("a field of %1").arg(tableWhat);
        for (const JsonValue& field : list->items) {
            require(field, JsonValue::Object, fieldWhat);
            allowOnly(field, { "name", "type", "extPropDefs" }, fieldWhat);
            const JsonValue& fieldName = mandatory(field, "name", JsonValue::String, fieldWhat);
            const JsonValue* typeValue = field.member(QStringLiteral("type"));
            if (!typeValue)
                failAt(field, QStringLiteral("%1 lacks \"type\"").arg(fieldWhat));
            const TesselDataType type = dataType(
                *typeValue, QStringLiteral("the type of field \"%1\"").arg(fieldName.text));
            TesselFieldSchema schema;
            try {
                schema = fields.add(fieldName.text, type);
            } catch (const KRVException& e) {
                failAt(fieldName, e.message());
            }
            types.push_back(type);
            readExtPropDefs(optional(field, "extPropDefs", JsonValue::Array, fieldWhat),
                schema.extPropDefs(), QStringLiteral("field \"%1\"").arg(fieldName.text));
        }
    }
    if (const JsonValue* primaryKey = optional(json, "primaryKey", JsonValue::Number, tableWhat)) {
        const int index = intValue(*primaryKey,
            QStringLiteral("the primary key of %1").arg(tableWhat), -1, fields.count() - 1);
        table.tableSchema().setPrimaryKeyFieldIndex(index);
    }
    const JsonValue* records = optional(json, "records", JsonValue::Array, tableWhat);
    if (!records)
        return;
    table.reserveRecords(int(records->items.size()));
    const QString recordWhat = QStringLiteral("a record of %1").arg(tableWhat);
    for (const JsonValue& item : records->items) {
        require(item, JsonValue::Object, recordWhat);
        allowOnly(item, { "id64", "values" }, recordWhat);
        const JsonValue* id = item.member(QStringLiteral("id64"));
        if (!id)
            failAt(item, QStringLiteral("%1 lacks \"id64\"").arg(recordWhat));
        const quint64 id64 = unsignedValue(*id, QStringLiteral("\"id64\""));
        const JsonValue& values = mandatory(item, "values", JsonValue::Array, recordWhat);
        if (values.items.size() != types.size())
            failAt(values,
                QStringLiteral("%1 has %2 values; the table has %3 fields")
                    .arg(recordWhat)
                    .arg(values.items.size())
                    .arg(types.size()));
        TesselRecord record = table.appendRecord(id64);
        for (size_t f = 0; f < types.size(); ++f)
            storeValue(record, int(f), types[f], values.items[f]);
    }
}

void appendString(QByteArray& out, const QString& text)
{
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += "\\u00" + QByteArray::number(int(c), 16).rightJustified(2, '0');
            else
                out += c;
        }
    }
    out += '"';
}

void appendExtPropDefs(QByteArray& out, const TesselExtPropDefs& definitions)
{
    out += '[';
    for (int i = 0; i < definitions.count(); ++i) {
        const TesselExtPropDef definition = definitions.items(i);
        out += i ? ", {\"code\": " : "{\"code\": ";
        appendString(out, definition.code());
        out += ", \"value\": ";
        appendString(out, definition.value());
        out += '}';
    }
    out += ']';
}

void appendValue(QByteArray& out, const TesselRecord& record, int field, TesselDataType type)
{
    switch (type) {
    case tdtBoolean:
        out += record.asInteger(field) ? "true" : "false";
        return;
    case tdtInt32:
        out += QByteArray::number(record.asInteger(field));
        return;
    case tdtInt64:
    case tdtDateTime:
        out += QByteArray::number(record.asInt64(field));
        return;
    case tdtDouble: {
        const double value = record.asDouble(field);
        if (std::isfinite(value))
            out += QString::number(value, 'g', QLocale::FloatingPointShortest).toLatin1();
        else
            appendString(out,
                std::isnan(value) ? QStringLiteral("nan")
                    : value > 0   ? QStringLiteral("inf")
                                  : QStringLiteral("-inf"));
        return;
    }
    default:
        appendString(out, record.asString(field));
        return;
    }
}

void appendTable(QByteArray& out, const TesselTable& table)
{
    const TesselTableSchema schema = table.tableSchema();
    const TesselFieldSchemas fields = schema.fieldSchemas();
    out += "        {\"name\": ";
    appendString(out, table.name());
    out += ", \"kind\": " + QByteArray::number(table.tableKind());
    out += ", \"primaryKey\": " + QByteArray::number(schema.primaryKeyFieldIndex());
    out += ",\n         \"fields\": [";
    std::vector<TesselDataType> types;
    for (int f = 0; f < fields.count(); ++f) {
        const TesselFieldSchema field = fields.items(f);
        types.push_back(field.dataType());
        out += f ? ",\n           {\"name\": " : "\n           {\"name\": ";
        appendString(out, field.name());
        out += ", \"type\": ";
        appendString(out, ModelJson::typeName(field.dataType()));
        if (field.extPropDefs().count() > 0) {
            out += ", \"extPropDefs\": ";
            appendExtPropDefs(out, field.extPropDefs());
        }
        out += '}';
    }
    out += fields.count() ? "],\n         \"records\": [" : "],\n         \"records\": [";
    for (int r = 0; r < table.recordCount(); ++r) {
        const TesselRecord record = table[r];
        out += r ? ",\n           {\"id64\": " : "\n           {\"id64\": ";
        out += QByteArray::number(record.id64());
        out += ", \"values\": [";
        for (int f = 0; f < int(types.size()); ++f) {
            if (f)
                out += ", ";
            appendValue(out, record, f, types[size_t(f)]);
        }
        out += "]}";
    }
    out += "]}";
}

} // namespace

QString ModelJson::typeName(TesselDataType type)
{
    switch (type) {
    case tdtBoolean:
        return QStringLiteral("bool");
    case tdtInt32:
        return QStringLiteral("int32");
    case tdtInt64:
        return QStringLiteral("int64");
    case tdtDouble:
        return QStringLiteral("double");
    case tdtString:
        return QStringLiteral("string");
    case tdtDateTime:
        return QStringLiteral("datetime");
    case tdtGuid:
        return QStringLiteral("guid");
    case tdtUnknown:
        break;
    }
    return QString::number(int(type));
}

TesselModel ModelJson::fromJson(const QByteArray& json)
{
    return fromJson(JsonReader::parse(json));
}

TesselModel ModelJson::fromJson(const JsonValue& root)
{
    const QString what = QStringLiteral("the model");
    require(root, JsonValue::Object, what);
    allowOnly(root, { "mode", "extPropDefs", "databases" }, what);
    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
    readExtPropDefs(
        optional(root, "extPropDefs", JsonValue::Array, what), model.extPropDefs(), what);
    if (const JsonValue* databases = optional(root, "databases", JsonValue::Array, what)) {
        for (const JsonValue& json : databases->items) {
            const QString databaseWhat = QStringLiteral("a database");
            require(json, JsonValue::Object, databaseWhat);
            allowOnly(json, { "name", "tables" }, databaseWhat);
            const JsonValue& name = mandatory(json, "name", JsonValue::String, databaseWhat);
            TesselDatabase database;
            try {
                database = model.addDatabase(name.text);
            } catch (const KRVException& e) {
                failAt(name, e.message());
            }
            if (const JsonValue* tables
                = optional(json, "tables", JsonValue::Array, databaseWhat)) {
                for (const JsonValue& table : tables->items)
                    readTable(table, database);
            }
        }
    }
    const JsonValue* mode = optional(root, "mode", JsonValue::Number, what);
    model.setMode(static_cast<TesselMode>(
        mode ? intValue(*mode, QStringLiteral("the mode"), tmDesign, tmRuntime) : tmDesign));
    return model;
}

QByteArray ModelJson::toJson(const TesselModel& model)
{
    QByteArray out = "{\"mode\": " + QByteArray::number(model.mode()) + ",\n \"extPropDefs\": ";
    appendExtPropDefs(out, model.extPropDefs());
    out += ",\n \"databases\": [";
    for (int d = 0; d < model.databaseCount(); ++d) {
        const TesselDatabase database = model.databases(d);
        out += d ? ",\n    {\"name\": " : "\n    {\"name\": ";
        appendString(out, database.name());
        out += ", \"tables\": [";
        const TesselTables tables = database.tables();
        for (int t = 0; t < tables.count(); ++t) {
            out += t ? ",\n" : "\n";
            appendTable(out, tables.items(t));
        }
        out += "]}";
    }
    out += "]}\n";
    return out;
}
