#pragma once

#include <QString>

class ModelObject;

// Reads a model file into model, which must be fresh (no database, no
// definition). Faults raise KRVException with a message that says what is
// wrong, without the file name (the caller adds it).
void readModelFile(const QString& path, ModelObject& model, bool loadRecords);
