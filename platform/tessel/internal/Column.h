#pragma once

#include "CellValue.h"
#include <string>
#include <vector>

// The values of one field, all of the kind its type keeps: one vector of the
// kind, in the order of CellValue's alternatives. Texts are kept as UTF-8: a
// short one fits in the std::string itself, and the delivered identifier texts
// take less than half of what QString's UTF-16 with its header would.
using Column = std::variant<std::vector<qint64>, std::vector<double>, std::vector<std::string>>;

Column columnOf(TesselDataType type);
CellValue valueAt(const Column& column, size_t row);
// value must be of the column's kind, as storedFor gives it.
void setValueAt(Column& column, size_t row, CellValue value);
void appendValue(Column& column, CellValue value);
