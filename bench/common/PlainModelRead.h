#pragma once

#include <QString>
#include <QtGlobal>

// The reference every load figure is measured against: every row and column of
// every record table of a model file, each value read into a local variable
// with the sqlite3 accessor of the column's type. The connection is opened like
// the model loader's (read-only, no mutex) so that only the work on the values
// differs. Returns a checksum so that the reading cannot be optimised away.
qint64 plainModelRead(const QString& modelFile);
