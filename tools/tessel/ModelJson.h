#pragma once

#include <bimcore/platform/tessel/TesselModel.h>

#include <QByteArray>

#include <stdexcept>

// The JSON form of a model, as the tessel tool reads and writes it:
//
// {"mode": 2,
//  "extPropDefs": [{"code": "...", "value": "..."}],
//  "databases": [{"name": "DB", "tables": [{"name": "element_type", "kind": 0, "primaryKey": 0,
//      "fields": [{"name": "id", "type": "int64",
//                  "extPropDefs": [{"code": "DataType", "value": "Int64"}]}, ...],
//      "records": [{"id64": "1873468521370200001", "values": [1001, 2, "Wall"]}]}]}]}
//
// A type is a name ("bool", "int32", "int64", "double", "string", "datetime",
// "guid") or the TesselDataType number. Whole numbers from 2^53 on, 64-bit
// values and identifiers alike, are decimal strings: JSON numbers are read as
// doubles, which above 2^53 no longer hold every whole number, so such a
// number is refused rather than rounded. Smaller ones may be numbers or
// strings. Omitted members take their defaults: mode 0, kind 0, primaryKey -1,
// empty lists.
class ModelJson
{
public:
    // A text that is no JSON (with its line and column) or does not describe
    // a model (with the path of the value at fault, e.g.
    // "databases[0].tables[2].records[5].values[1]").
    class Error : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

    static TesselModel fromJson(const QByteArray& json);
    // The canonical form: fromJson(toJson(m)) gives a model equal to m, and
    // toJson(fromJson(text)) gives text back up to layout, member order,
    // type numbers written as names, defaults written out, string escapes and
    // whole numbers below 2^53 given as strings written as numbers.
    static QByteArray toJson(const TesselModel& model);
};
