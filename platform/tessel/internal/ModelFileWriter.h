#pragma once

#include <QString>

class ModelObject;

// Writes model to path through a temporary file beside it that then replaces
// path. Faults raise KRVException saying what failed, without the file name.
void writeModelFile(const QString& path, const ModelObject& model);
