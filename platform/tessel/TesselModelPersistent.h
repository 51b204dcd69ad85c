#pragma once

#include <bimcore/platform/tessel/TesselModel.h>
#include <bimcore/platform/tessel/tessel_export.h>

#include <QString>

// The persistence of a model: reading a model file into it and writing it to
// one. The file layout is described in platform/tessel/FORMAT.md.
class TESSEL_EXPORT TesselModelPersistent
{
public:
    explicit TesselModelPersistent(const TesselModel& model);

    // Reads the whole file into the model, replacing its mode, definitions
    // and databases; returns true. A file that is missing, empty, no SQLite
    // database, of another layout or version, truncated or inconsistent
    // raises KRVException whose message names the file and the fault, and
    // leaves the model as it was. A null model raises KRVException.
    //   readOnly    - the loaded model's mode becomes tmReadOnly instead of
    //                 the mode stored in the file.
    //   loadRecords - false reads schemas and definitions only (every table
    //                 then has no record).
    bool loadFromFile(const QString& path, bool readOnly = false, bool loadRecords = true);

    // Writes the model to path: first to a temporary file beside it, which
    // then replaces path, so that path holds either the old or the new model.
    // Failures raise KRVException naming the file; path is then untouched.
    void saveToFile(const QString& path) const;

private:
    TesselModel m_model;
};
