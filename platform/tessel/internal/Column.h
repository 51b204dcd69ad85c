#pragma once

#include "CellValue.h"
#include <QByteArray>
#include <vector>

// The values of one field, all of the kind its type keeps: one vector of the
// kind, in the order of CellValue's alternatives; texts as UTF-8, which for
// the short texts fields hold takes a fifth less memory than QString's UTF-16.
using Column = std::variant<std::vector<qint64>, std::vector<double>, std::vector<QByteArray>>;

// `rows` empty values of the kind the type keeps.
Column columnOf(TesselDataType type, size_t rows = 0);
CellValue valueAt(const Column& column, size_t row);
// value must be of the column's kind, as storedFor gives it.
void setValueAt(Column& column, size_t row, CellValue value);
