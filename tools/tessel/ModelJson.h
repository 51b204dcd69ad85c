#pragma once

#include "JsonValue.h"

#include <tessel/TesselModel.h>

#include <QByteArray>

// The JSON form of a model, as the tessel tool reads and writes it:
//
// {"mode": 2,
//  "extPropDefs": [{"code": "...", "value": "..."}],
//  "databases": [{"name": "DB", "tables": [{"name": "element_type", "kind": 0, "primaryKey": 0,
//      "fields": [{"name": "id", "type": "int64",
//                  "extPropDefs": [{"code": "DataType", "value": "Int64"}]}, ...],
//      "records": [{"id64": 1001, "values": [1001, 2, "Wall"]}]}]}]}
//
// A type is a name ("bool", "int32", "int64", "double", "string", "datetime",
// "guid") or the TesselDataType number. 64-bit values and identifiers are JSON
// numbers or decimal strings and never pass through a double. Omitted members
// take their defaults: mode 0, kind 0, primaryKey -1, empty lists.
class ModelJson
{
public:
    // Raises JsonError (line and column) for a text that is no JSON or does
    // not describe a model.
    static TesselModel fromJson(const QByteArray& json);
    static TesselModel fromJson(const JsonValue& root);
    // The canonical form: fromJson(toJson(m)) gives a model equal to m, and
    // toJson(fromJson(text)) gives text back up to layout, member order,
    // type numbers written as names, defaults written out and numbers given
    // as strings written as numbers.
    static QByteArray toJson(const TesselModel& model);

    static QString typeName(TesselDataType type);
};
