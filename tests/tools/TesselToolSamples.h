#pragma once

// JSON samples of the tool test, kept apart from the test class (moc does not
// read raw string literals).

// Input in the canonical form (every default written, types by name): whole
// numbers from 2^53 on are strings, the largest below is a number.
const char canonicalJson[] = R"({"mode": 2,
 "extPropDefs": [{"code": "IgnoreProcessInt64", "value": "False"}, {"code": "IgnoreProcessInt64", "value": "True"}],
 "databases": [
    {"name": "DB", "tables": [
        {"name": "element_type", "kind": 0, "primaryKey": 0,
         "fields": [
           {"name": "id", "type": "int64", "extPropDefs": [{"code": "DataType", "value": "Int64"}]},
           {"name": "node_type", "type": "int32"},
           {"name": "name", "type": "string"},
           {"name": "area", "type": "double"},
           {"name": "visible", "type": "bool"}],
         "records": [
           {"id64": 9007199254740991, "values": ["9007199254740993", 2, "Wall \"墙\"\n", 0.1, true]},
           {"id64": "18446744073709551615", "values": ["-9223372036854775808", -1, "", 1e+300, false]}]},
        {"name": "empty", "kind": 2, "primaryKey": -1,
         "fields": [],
         "records": []}]}]}
)";
