#include "Column.h"

Column columnOf(TesselDataType type, size_t rows)
{
    const CellValue empty = emptyValueOf(type);
    if (std::holds_alternative<double>(empty))
        return std::vector<double>(rows);
    if (std::holds_alternative<QString>(empty))
        return std::vector<QByteArray>(rows);
    return std::vector<qint64>(rows);
}

CellValue valueAt(const Column& column, size_t row)
{
    // By its size: a text may hold a NUL.
    if (const auto* texts = std::get_if<std::vector<QByteArray>>(&column))
        return QString::fromUtf8((*texts)[row].constData(), (*texts)[row].size());
    if (const auto* reals = std::get_if<std::vector<double>>(&column))
        return (*reals)[row];
    return std::get<std::vector<qint64>>(column)[row];
}

void setValueAt(Column& column, size_t row, CellValue value)
{
    if (auto* texts = std::get_if<std::vector<QByteArray>>(&column))
        (*texts)[row] = std::get<QString>(value).toUtf8();
    else if (auto* reals = std::get_if<std::vector<double>>(&column))
        (*reals)[row] = std::get<double>(value);
    else
        std::get<std::vector<qint64>>(column)[row] = std::get<qint64>(value);
}
