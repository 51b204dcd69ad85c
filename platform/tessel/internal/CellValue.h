#pragma once

#include <bimcore/platform/tessel/TesselEnums.h>
#include <QString>
#include <QtGlobal>
#include <optional>
#include <variant>

// One value of a field, as a table keeps it and as callers hand it in: a
// whole number, a floating-point number or a text. Fields keep values of one
// kind only (see storedFor); a 64-bit identifier keeps its bit pattern.
using CellValue = std::variant<qint64, double, QString>;

// The value that a field of type keeps for value, or nothing when the value
// cannot be represented there (a fraction or a word for an integer field, a
// number outside the field's range). A text of decimal digits (optionally
// signed, surrounding blanks ignored) reads as its number, an empty text as 0;
// tdtInt64 keeps the numbers above the signed range as their bit pattern.
std::optional<CellValue> storedFor(const CellValue& value, TesselDataType type);

// The whole number the value holds; nothing for a fraction or a word. Texts
// above the signed range are refused unless keepUnsignedBits.
std::optional<qint64> toInt64(const CellValue& value, bool keepUnsignedBits = false);
// The same for non-negative numbers up to 2^64-1.
std::optional<quint64> toUInt64(const CellValue& value);
std::optional<double> toDouble(const CellValue& value);
// Decimal text of numbers (the shortest form that reads back for doubles).
QString toText(const CellValue& value);
// A short form of the value for error messages, texts in quotes.
QString describe(const CellValue& value);

// The empty value of a field of that type: 0, 0.0 or an empty text.
CellValue emptyValueOf(TesselDataType type);
bool isKnownDataType(int type);
