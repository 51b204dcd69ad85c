#pragma once

#include "CellValue.h"
#include <vector>

// The values of one field, all of the kind its type keeps: one vector of the
// kind, in the order of CellValue's alternatives.
using Column = std::variant<std::vector<qint64>, std::vector<double>, std::vector<QString>>;

Column columnOf(TesselDataType type);
CellValue valueAt(const Column& column, size_t row);
// value must be of the column's kind, as storedFor gives it.
void setValueAt(Column& column, size_t row, CellValue value);
void appendValue(Column& column, CellValue value);
