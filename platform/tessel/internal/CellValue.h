#pragma once

#include <QString>
#include <QtGlobal>

#include <string>
#include <string_view>

// One value on its way between a field's storage and a caller, with the
// conversions between storage classes. A conversion that cannot represent
// the value returns false; the callers turn that into an error that names the
// table, field and record.
struct CellValue
{
    enum Kind
    {
        Integer,
        Unsigned,
        Real,
        Text
    };

    Kind kind = Integer;
    qint64 integer = 0;
    quint64 unsignedInteger = 0;
    double real = 0;
    std::string_view text; // UTF-8; valid as long as its source

    static CellValue fromInteger(qint64 value)
    {
        CellValue cell;
        cell.integer = value;
        return cell;
    }
    static CellValue fromUnsigned(quint64 value)
    {
        CellValue cell;
        cell.kind = Unsigned;
        cell.unsignedInteger = value;
        return cell;
    }
    static CellValue fromReal(double value)
    {
        CellValue cell;
        cell.kind = Real;
        cell.real = value;
        return cell;
    }
    static CellValue fromText(std::string_view value)
    {
        CellValue cell;
        cell.kind = Text;
        cell.text = value;
        return cell;
    }
};

// keepUnsignedBits: an unsigned value above the signed range keeps its bit
// pattern (64-bit identifiers); otherwise it does not convert.
bool convertToInt64(const CellValue& cell, qint64& out, bool keepUnsignedBits);
bool convertToInt32(const CellValue& cell, qint32& out);
bool convertToBoolean(const CellValue& cell, qint32& out);
bool convertToUInt64(const CellValue& cell, quint64& out);
bool convertToDouble(const CellValue& cell, double& out);
std::string convertToText(const CellValue& cell);
// A short quotable form of the value for error messages.
QString describeCell(const CellValue& cell);
