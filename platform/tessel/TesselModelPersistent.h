#pragma once

#include <bimcore/platform/tessel/TesselModel.h>

/// The persistence of a model: reading a model file into it and writing it to
/// one. The file layout is described in platform/tessel/FORMAT.md.
class TESSEL_EXPORT TesselModelPersistent
{
public:
    explicit TesselModelPersistent(const TesselModel& model);

    /// Reads the whole file into the model, replacing its mode, definitions and
    /// databases; returns true. A missing, damaged or foreign file raises
    /// KRVException naming the file and the fault, the model left as it was.
    /// readOnly gives mode tmReadOnly; loadRecords false reads no records.
    bool loadFromFile(const QString& path, bool readOnly = false, bool loadRecords = true);

    /// Writes the model through a temporary file beside path that then replaces
    /// it; failures raise KRVException naming the file and leave path as it was.
    void saveToFile(const QString& path) const;

private:
    TesselModel m_model;
};
