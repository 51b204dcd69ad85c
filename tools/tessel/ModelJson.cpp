#include "ModelJson.h"

#include <bimcore/platform/krvcommon/KRVException.h>
#include <bimcore/platform/tessel/Tessel.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

// Doubles hold every whole number below 2^53 exactly; from there on several
// numbers of a text read as the same double (2^53 + 1 reads as 2^53), so no
// number from 2^53 on can be trusted to be the one written.
constexpr qint64 exactLimit = qint64(1) << 53;

const std::pair<const char*, TesselDataType> typeNames[] = { { "bool", tdtBoolean },
    { "int32", tdtInt32 }, { "int64", tdtInt64 }, { "double", tdtDouble }, { "string", tdtString },
    { "datetime", tdtDateTime }, { "guid", tdtGuid } };

QString typeName(TesselDataType type)
{
    for (const auto& entry : typeNames) {
        if (entry.second == type)
            return QLatin1String(entry.first);
    }
    return QString::number(int(type));
}

[[noreturn]] void fail(const QString& path, const QString& message)
{
    throw ModelJson::Error(
        (path.isEmpty() ? message : path + QStringLiteral(": ") + message).toStdString());
}

[[noreturn]] void failInexact(const QString& path)
{
    fail(path,
        QStringLiteral("a JSON number from 2^53 (9007199254740992) on may not be read as "
                       "written; write it as a string of decimal digits"));
}

QString member(const QString& path, const char* name)
{
    return path.isEmpty() ? QLatin1String(name) : path + QLatin1Char('.') + QLatin1String(name);
}

QString item(const QString& path, int index)
{
    return QStringLiteral("%1[%2]").arg(path).arg(index);
}

QString typeOf(QJsonValue::Type type)
{
    switch (type) {
    case QJsonValue::Bool:
        return QStringLiteral("a boolean");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    default:
        return QStringLiteral("null");
    }
}

// Line and column (both from 1, columns counted in characters) of the place
// where QJsonDocument stopped reading.
QString place(const QByteArray& text, int offset)
{
    const QByteArray before = text.left(std::max(offset, 0));
    int lineStart = before.lastIndexOf('\n') + 1;
    if (lineStart == 0 && before.startsWith("\xEF\xBB\xBF"))
        lineStart = 3; // a byte order mark takes no column
    const auto characters = std::count_if(before.begin() + lineStart, before.end(),
        [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
    return QStringLiteral("line %1, column %2").arg(before.count('\n') + 1).arg(characters + 1);
}

// The object at path, which may have only the members named.
QJsonObject object(
    const QJsonValue& value, const QString& path, std::initializer_list<const char*> names)
{
    if (!value.isObject())
        fail(path, QStringLiteral("must be an object, not %1").arg(typeOf(value.type())));
    const QJsonObject result = value.toObject();
    for (auto it = result.begin(); it != result.end(); ++it) {
        if (std::none_of(names.begin(), names.end(),
                [&it](const char* name) { return it.key() == QLatin1String(name); }))
            fail(path, QStringLiteral("unknown member \"%1\"").arg(it.key()));
    }
    return result;
}

// Undefined when the member is absent.
QJsonValue optional(
    const QJsonObject& object, const char* name, QJsonValue::Type type, const QString& path)
{
    const QJsonValue value = object.value(QLatin1String(name));
    if (!value.isUndefined() && value.type() != type)
        fail(member(path, name),
            QStringLiteral("must be %1, not %2").arg(typeOf(type), typeOf(value.type())));
    return value;
}

QJsonValue present(const QJsonObject& object, const char* name, const QString& path)
{
    const QJsonValue value = object.value(QLatin1String(name));
    if (value.isUndefined())
        fail(path, QStringLiteral("lacks \"%1\"").arg(QLatin1String(name)));
    return value;
}

QJsonValue mandatory(
    const QJsonObject& object, const char* name, QJsonValue::Type type, const QString& path)
{
    present(object, name, path);
    return optional(object, name, type, path);
}

int wholeNumber(const QJsonValue& value, const QString& path, int low, int high)
{
    const double number = value.toDouble(low - 1.0);
    if (!value.isDouble() || std::trunc(number) != number || number < low || number > high)
        fail(path, QStringLiteral("must be a whole number from %1 to %2").arg(low).arg(high));
    return int(number);
}

int wholeNumber(
    const QJsonObject& object, const char* name, const QString& path, int low, int high, int absent)
{
    const QJsonValue value = object.value(QLatin1String(name));
    return value.isUndefined() ? absent : wholeNumber(value, member(path, name), low, high);
}

quint64 identifier(const QJsonValue& value, const QString& path)
{
    const double number = value.toDouble(-1);
    if (value.isDouble() && number >= double(exactLimit))
        failInexact(path);
    if (value.isDouble() && number >= 0 && std::trunc(number) == number)
        return quint64(number);
    const QString text = value.toString().trimmed();
    bool ok = false;
    const quint64 result = text.toULongLong(&ok);
    if (!value.isString() || !ok || text.startsWith(QLatin1Char('+')))
        fail(path, QStringLiteral("must be a whole number from 0 to 18446744073709551615"));
    return result;
}

TesselDataType dataType(const QJsonValue& value, const QString& path)
{
    if (value.isString()) {
        for (const auto& entry : typeNames) {
            if (value.toString() == QLatin1String(entry.first))
                return entry.second;
        }
        fail(path,
            QStringLiteral("unknown type \"%1\" (bool, int32, int64, double, string, datetime, "
                           "guid or a type number)")
                .arg(value.toString()));
    }
    const int number = wholeNumber(value, path, 0, 64);
    for (const auto& entry : typeNames) {
        if (entry.second == number)
            return entry.second;
    }
    fail(path, QStringLiteral("unknown type number %1").arg(number));
}

void readExtPropDefs(const QJsonObject& owner, TesselExtPropDefs target, const QString& ownerPath)
{
    const QString path = member(ownerPath, "extPropDefs");
    const QJsonArray list = optional(owner, "extPropDefs", QJsonValue::Array, ownerPath).toArray();
    for (int i = 0; i < list.size(); ++i) {
        const QString itemPath = item(path, i);
        const QJsonObject json = object(list[i], itemPath, { "code", "value" });
        TesselExtPropDef definition = target.add();
        definition.setCode(mandatory(json, "code", QJsonValue::String, itemPath).toString());
        definition.setValue(optional(json, "value", QJsonValue::String, itemPath).toString());
    }
}

// Digits for an integer field must fit it: the record would wrap the number
// round (18446744073709551557 into an int64 field reads back as -59).
void checkIntegerText(TesselDataType type, const QString& text, const QString& path)
{
    if (type != tdtInt64 && type != tdtInt32)
        return;
    static const QRegularExpression wholeNumber(QStringLiteral("^\\s*[+-]?[0-9]+\\s*$"));
    if (!wholeNumber.match(text).hasMatch())
        return;
    const bool wide = type == tdtInt64;
    const qint64 low = wide ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint32>::min();
    const qint64 high = wide ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint32>::max();
    bool ok = false;
    const qint64 number = text.trimmed().toLongLong(&ok);
    if (!ok || number < low || number > high)
        fail(path, QStringLiteral("%1 is outside the range of an %2 field, %3 to %4")
                       .arg(text.trimmed(), QLatin1String(wide ? "int64" : "int32"))
                       .arg(low)
                       .arg(high));
}

// The record converts the value to the field's type or refuses it, with the
// path put before its message.
void storeValue(TesselRecord& record, int field, TesselDataType type, const QJsonValue& value,
    const QString& path)
{
    try {
        switch (value.type()) {
        case QJsonValue::Double: {
            // Fields of 64 bits or of text keep whole numbers digit for digit,
            // so these must be the numbers written.
            const bool wide
                = type == tdtInt64 || type == tdtDateTime || type == tdtString || type == tdtGuid;
            const double number = value.toDouble();
            if (!wide || std::trunc(number) != number)
                record.setDouble(field, number);
            else if (std::abs(number) < double(exactLimit))
                record.setInt64(field, qint64(number));
            else
                failInexact(path);
            return;
        }
        case QJsonValue::String:
            checkIntegerText(type, value.toString(), path);
            record.setString(field, value.toString());
            return;
        case QJsonValue::Bool:
            if (type == tdtString || type == tdtGuid)
                record.setString(
                    field, value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
            else
                record.setInteger(field, value.toBool() ? 1 : 0);
            return;
        default:
            fail(path,
                QStringLiteral("a field value must be a number, a string or a boolean, not %1")
                    .arg(typeOf(value.type())));
        }
    } catch (const KRVException& e) {
        fail(path, e.message());
    }
}

void readTable(const QJsonValue& json, const QString& path, TesselDatabase database)
{
    const QJsonObject table
        = object(json, path, { "name", "kind", "primaryKey", "fields", "records" });
    const QString name = mandatory(table, "name", QJsonValue::String, path).toString();
    const int kind = wholeNumber(table, "kind", path, ttkOrdinary, ttkSystem, ttkOrdinary);
    TesselTable target;
    try {
        target = database.addTable(name, static_cast<TesselTableKind>(kind));
    } catch (const KRVException& e) {
        fail(member(path, "name"), e.message());
    }
    TesselFieldSchemas fields = target.tableSchema().fieldSchemas();
    std::vector<TesselDataType> types;
    const QJsonArray fieldList = optional(table, "fields", QJsonValue::Array, path).toArray();
    for (int f = 0; f < fieldList.size(); ++f) {
        const QString fieldPath = item(member(path, "fields"), f);
        const QJsonObject field
            = object(fieldList[f], fieldPath, { "name", "type", "extPropDefs" });
        const QString fieldName
            = mandatory(field, "name", QJsonValue::String, fieldPath).toString();
        const TesselDataType type
            = dataType(present(field, "type", fieldPath), member(fieldPath, "type"));
        TesselFieldSchema schema;
        try {
            schema = fields.add(fieldName, type);
        } catch (const KRVException& e) {
            fail(member(fieldPath, "name"), e.message());
        }
        types.push_back(type);
        readExtPropDefs(field, schema.extPropDefs(), fieldPath);
    }
    target.tableSchema().setPrimaryKeyFieldIndex(
        wholeNumber(table, "primaryKey", path, -1, fields.count() - 1, -1));

    const QJsonArray records = optional(table, "records", QJsonValue::Array, path).toArray();
    target.reserveRecords(records.size());
    for (int r = 0; r < records.size(); ++r) {
        const QString recordPath = item(member(path, "records"), r);
        const QJsonObject json = object(records[r], recordPath, { "id64", "values" });
        const quint64 id64
            = identifier(present(json, "id64", recordPath), member(recordPath, "id64"));
        const QJsonArray values
            = mandatory(json, "values", QJsonValue::Array, recordPath).toArray();
        const QString valuesPath = member(recordPath, "values");
        if (size_t(values.size()) != types.size())
            fail(valuesPath,
                QStringLiteral("%1 values; the table has %2 fields")
                    .arg(values.size())
                    .arg(types.size()));
        TesselRecord record = target.appendRecord(id64);
        for (int f = 0; f < values.size(); ++f)
            storeValue(record, f, types[size_t(f)], values[f], item(valuesPath, f));
    }
}

// Text of a JSON string, escaped by QJsonDocument.
QByteArray quoted(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// A number only below 2^53, where the reader gets it back exactly.
QByteArray whole(qint64 value)
{
    const QByteArray digits = QByteArray::number(value);
    return value > -exactLimit && value < exactLimit ? digits : '"' + digits + '"';
}

QByteArray whole(quint64 value)
{
    return value < quint64(exactLimit) ? whole(qint64(value))
                                       : '"' + QByteArray::number(value) + '"';
}

// "[]", or one item a line at the indentation given.
QByteArray lines(const QByteArrayList& items, const QByteArray& indent)
{
    return items.isEmpty() ? QByteArrayLiteral("[]")
                           : "[\n" + indent + items.join(",\n" + indent) + ']';
}

QByteArray extPropDefsJson(const TesselExtPropDefs& definitions)
{
    QByteArrayList items;
    for (int i = 0; i < definitions.count(); ++i) {
        const TesselExtPropDef definition = definitions.items(i);
        items << "{\"code\": " + quoted(definition.code())
                + ", \"value\": " + quoted(definition.value()) + '}';
    }
    return '[' + items.join(", ") + ']';
}

QByteArray valueJson(const TesselRecord& record, int field, TesselDataType type)
{
    switch (type) {
    case tdtBoolean:
        return record.asInteger(field) ? "true" : "false";
    case tdtInt32:
        return QByteArray::number(record.asInteger(field));
    case tdtInt64:
    case tdtDateTime:
        return whole(record.asInt64(field));
    case tdtDouble: {
        // JSON has no infinities and no NaN: they go as the strings a double
        // field reads back.
        const double value = record.asDouble(field);
        if (std::isnan(value))
            return "\"nan\"";
        if (std::isinf(value))
            return value > 0 ? "\"inf\"" : "\"-inf\"";
        return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
    }
    default:
        return quoted(record.asString(field));
    }
}

QByteArray tableJson(const TesselTable& table)
{
    const TesselTableSchema schema = table.tableSchema();
    const TesselFieldSchemas fields = schema.fieldSchemas();
    QByteArrayList fieldItems;
    std::vector<TesselDataType> types;
    for (int f = 0; f < fields.count(); ++f) {
        const TesselFieldSchema field = fields.items(f);
        types.push_back(field.dataType());
        QByteArray json = "{\"name\": " + quoted(field.name())
            + ", \"type\": " + quoted(typeName(field.dataType()));
        if (field.extPropDefs().count() > 0)
            json += ", \"extPropDefs\": " + extPropDefsJson(field.extPropDefs());
        fieldItems << json + '}';
    }
    QByteArrayList records;
    for (int r = 0; r < table.recordCount(); ++r) {
        const TesselRecord record = table[r];
        QByteArrayList values;
        for (int f = 0; f < int(types.size()); ++f)
            values << valueJson(record, f, types[size_t(f)]);
        records << "{\"id64\": " + whole(record.id64()) + ", \"values\": [" + values.join(", ")
                + "]}";
    }
    const QByteArray indent(11, ' ');
    return "{\"name\": " + quoted(table.name())
        + ", \"kind\": " + QByteArray::number(table.tableKind()) + ", \"primaryKey\": "
        + QByteArray::number(schema.primaryKeyFieldIndex()) + ",\n         \"fields\": "
        + lines(fieldItems, indent) + ",\n         \"records\": " + lines(records, indent) + '}';
}

} // namespace

TesselModel ModelJson::fromJson(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        fail(place(json, error.offset), error.errorString());
    if (document.isArray())
        fail(QString(), QStringLiteral("the model must be an object, not an array"));
    const QJsonObject root
        = object(document.object(), QString(), { "mode", "extPropDefs", "databases" });

    TesselModel model = tesselEngine(QString()).createModel(true, VellEngine());
    readExtPropDefs(root, model.extPropDefs(), QString());
    const QJsonArray databases
        = optional(root, "databases", QJsonValue::Array, QString()).toArray();
    for (int d = 0; d < databases.size(); ++d) {
        const QString path = item(QStringLiteral("databases"), d);
        const QJsonObject json = object(databases[d], path, { "name", "tables" });
        const QString name = mandatory(json, "name", QJsonValue::String, path).toString();
        TesselDatabase database;
        try {
            database = model.addDatabase(name);
        } catch (const KRVException& e) {
            fail(member(path, "name"), e.message());
        }
        const QJsonArray tables = optional(json, "tables", QJsonValue::Array, path).toArray();
        for (int t = 0; t < tables.size(); ++t)
            readTable(tables[t], item(member(path, "tables"), t), database);
    }
    model.setMode(static_cast<TesselMode>(
        wholeNumber(root, "mode", QString(), tmDesign, tmRuntime, tmDesign)));
    return model;
}

QByteArray ModelJson::toJson(const TesselModel& model)
{
    QByteArrayList databases;
    for (int d = 0; d < model.databaseCount(); ++d) {
        const TesselDatabase database = model.databases(d);
        QByteArrayList tables;
        for (int t = 0; t < database.tables().count(); ++t)
            tables << tableJson(database.tables().items(t));
        databases << "{\"name\": " + quoted(database.name())
                + ", \"tables\": " + lines(tables, QByteArray(8, ' ')) + '}';
    }
    return "{\"mode\": " + QByteArray::number(model.mode())
        + ",\n \"extPropDefs\": " + extPropDefsJson(model.extPropDefs())
        + ",\n \"databases\": " + lines(databases, "    ") + "}\n";
}
