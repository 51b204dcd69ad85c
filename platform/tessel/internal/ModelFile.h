#pragma once

#include <QString>

struct ModelObject;

// Reads a model file into model, which must be fresh (no database, no
// definition). Faults raise KRVException saying what is wrong, without the
// file name (the caller adds it).
void readModelFile(const QString& path, ModelObject& model, bool loadRecords);

// Writes model to path through a temporary file beside it that then replaces
// path. Faults raise KRVException saying what failed, without the file name.
void writeModelFile(const QString& path, const ModelObject& model);
