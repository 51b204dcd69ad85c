#pragma once

#include <bimcore/platform/platformsvc/CommunicationNexus.h>

#include <QString>

#include <functional>
#include <string>

namespace PlatformSvcComm {

// The default central service: a folder holding one sub-folder per project
// key, each with the project's two files. A request brings both files into
// the local project folder, all or nothing (ProjectFolderUpdate), and answers
// with the records that differ between the local model that was there before
// and the new one. A first fetch (no local model before, or one that cannot
// be read) answers with an empty change map.
class PLATFORMSVC_EXPORT LocalCentralStore : public ICentralService
{
public:
    using Progress = std::function<void(const std::wstring& text, double percent)>;

    // An empty location: the environment variable BIMCORE_CENTRAL_STORE, or
    // else the value "CentralStore/Location" of the settings of organisation
    // "Korvane", application "PlatformService", looked up for each request.
    explicit LocalCentralStore(QString location = QString());

    // Brings the project's files into params.m_projectPath; throws
    // std::exception on any fault, leaving the local folder as it was.
    // `progress` may be empty. `inPlace`, if set, is told the changes as soon
    // as the new files are in place, before the old ones are removed, so that
    // an answer need not wait for that.
    TableChangeMap fetch(const FileProcessParams& params, const Progress& progress,
        const std::function<void(const TableChangeMap&)>& inPlace = {}) const;

    void Process(
        const FileProcessParams& params, int requestFlag, CentralServiceContext& context) override;

private:
    QString m_location;
};

// The records that differ between two model files: per table, the identifiers
// only in the new model (RecordAdded), in both with different field values
// (RecordChanged) and only in the old model (RecordRemoved). A table only in
// one model lists all its records; when a table's fields differ, every record
// in both is changed. Tables are matched by database and table name and keyed
// by table name. The record tables are read straight from the mapped files;
// SQLite reads the catalogs, and the tables whose file layout the direct read
// does not know (or all of them when BIMCORE_COMPARE_PLAIN is set).
// Throws std::exception when either file cannot be read as a model file.
PLATFORMSVC_EXPORT TableChangeMap compareModelFiles(
    const QString& oldModel, const QString& newModel);

// How many tables SQLite has compared so far.
PLATFORMSVC_EXPORT long directScanFallbacks();

// Reads the file's header and catalog; throws std::runtime_error when it is no
// readable model file.
PLATFORMSVC_EXPORT void checkModelFile(const QString& model);

} // namespace PlatformSvcComm
