#include "Column.h"

Column columnOf(TesselDataType type)
{
    const CellValue empty = emptyValueOf(type);
    if (std::holds_alternative<double>(empty))
        return std::vector<double>();
    if (std::holds_alternative<QString>(empty))
        return std::vector<std::string>();
    return std::vector<qint64>();
}

CellValue valueAt(const Column& column, size_t row)
{
    if (const auto* texts = std::get_if<std::vector<std::string>>(&column))
        return QString::fromStdString((*texts)[row]);
    if (const auto* reals = std::get_if<std::vector<double>>(&column))
        return (*reals)[row];
    return std::get<std::vector<qint64>>(column)[row];
}

void setValueAt(Column& column, size_t row, CellValue value)
{
    if (auto* texts = std::get_if<std::vector<std::string>>(&column))
        (*texts)[row] = std::get<QString>(value).toStdString();
    else if (auto* reals = std::get_if<std::vector<double>>(&column))
        (*reals)[row] = std::get<double>(value);
    else
        std::get<std::vector<qint64>>(column)[row] = std::get<qint64>(value);
}
