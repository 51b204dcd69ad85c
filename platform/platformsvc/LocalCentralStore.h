#pragma once

#include <bimcore/platform/platformsvc/CommunicationNexus.h>
#include <QString>

namespace PlatformSvcComm {
/**
 * @brief The default central service: a folder holding one sub-folder per
 * project key, each with the project's two files.
 *
 * A request brings both files into the local project folder, all or nothing
 * (ProjectFolderUpdate), and answers with the records that differ between the
 * local model that was there before and the new one (compareModelFiles). A
 * first fetch answers with an empty change map. Runs on the hub's worker
 * thread; fetch may run on any thread.
 */
class PLATFORMSVC_EXPORT LocalCentralStore : public ICentralService
{
public:
    using Progress = std::function<void(const std::wstring& text, double percent)>;

    /**
     * @param location the store folder; empty: the environment variable
     * BIMCORE_CENTRAL_STORE, or else the value "CentralStore/Location" of the
     * settings of organisation "Korvane", application "PlatformService",
     * looked up for each request.
     */
    explicit LocalCentralStore(QString location = QString());

    /**
     * @brief Brings the project's files into params.m_projectPath.
     * @param params the request; m_projectKey names the project in the store.
     * @param progress told each step, may be empty; may throw to stop.
     * @return the changed records.
     * @throws std::exception on any fault, leaving the local files as they were.
     */
    TableChangeMap fetch(const FileProcessParams& params, const Progress& progress) const;

    /** @brief Answers a submitted fetch request with its changes. */
    void Process(
        const FileProcessParams& params, int requestFlag, CentralServiceContext& context) override;

private:
    QString m_location;
};
} // namespace PlatformSvcComm
