#include "Column.h"
#include <type_traits>

namespace {
template <class Values> using ValueOf = typename std::decay_t<Values>::value_type;
} // namespace

Column columnOf(TesselDataType type)
{
    const CellValue empty = emptyValueOf(type);
    if (std::holds_alternative<double>(empty))
        return std::vector<double>();
    if (std::holds_alternative<QString>(empty))
        return std::vector<QString>();
    return std::vector<qint64>();
}

CellValue valueAt(const Column& column, size_t row)
{
    return std::visit([row](const auto& values) { return CellValue(values[row]); }, column);
}

void setValueAt(Column& column, size_t row, CellValue value)
{
    std::visit(
        [&](auto& values) { values[row] = std::get<ValueOf<decltype(values)>>(std::move(value)); },
        column);
}

void appendValue(Column& column, CellValue value)
{
    std::visit(
        [&](auto& values) { values.push_back(std::get<ValueOf<decltype(values)>>(std::move(value))); },
        column);
}
