#pragma once

#include <platformsvc/CentralService.h>

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

    // The store at configuredLocation(), looked up afresh for each request.
    LocalCentralStore() = default;
    explicit LocalCentralStore(QString location);

    // The environment variable BIMCORE_CENTRAL_STORE, or else the value
    // "CentralStore/Location" of the settings store of organisation "Korvane",
    // application "PlatformService"; empty when neither is set.
    static QString configuredLocation();

    // Brings the project's files into params.m_projectPath; throws
    // CentralStoreError (or std::exception) on any fault, leaving the local
    // folder as it was. `progress` may be empty.
    TableChangeMap fetch(const FileProcessParams& params, const Progress& progress) const;

    void Process(
        const FileProcessParams& params, int requestFlag, CentralServiceContext& context) override;

    static constexpr const char* kModelFileName = "KBMProjectTemplate.Tessel";
    static constexpr const char* kDatabaseFileName = "KBMProjectTemplate.db";

private:
    QString location() const;
    QString m_location;
};

} // namespace PlatformSvcComm
