#include "Column.h"
#include <type_traits>

namespace {
template <class Values> using ValueOf = typename std::decay_t<Values>::value_type;

template <class Kept> Kept kept(CellValue value)
{
    if constexpr (std::is_same_v<Kept, std::string>)
        return std::get<QString>(value).toStdString();
    else
        return std::get<Kept>(value);
}

CellValue cellOf(const std::string& text)
{
    return QString::fromStdString(text);
}

template <class Number> CellValue cellOf(Number number)
{
    return number;
}
} // namespace

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
    return std::visit([row](const auto& values) { return cellOf(values[row]); }, column);
}

void setValueAt(Column& column, size_t row, CellValue value)
{
    std::visit([&](auto& values) { values[row] = kept<ValueOf<decltype(values)>>(std::move(value)); },
        column);
}

void appendValue(Column& column, CellValue value)
{
    std::visit(
        [&](auto& values) { values.push_back(kept<ValueOf<decltype(values)>>(std::move(value))); },
        column);
}
