#include "LocalCentralStore.h"

#include "CentralStoreError.h"
#include "DurableFiles.h"
#include "ModelComparison.h"
#include "ProjectFolderUpdate.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <cstdlib>
#include <future>
#include <unistd.h>

namespace PlatformSvcComm {

namespace {

constexpr double kCopyShare = 90.0; // percent of the progress bar spent copying

QString display(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

bool isPlainKey(const QString& key)
{
    return !key.trimmed().isEmpty() && key != QLatin1String(".") && key != QLatin1String("..")
        && !key.contains(QLatin1Char('/')) && !key.contains(QLatin1Char('\\'));
}

// The changes from the local model to the new one. A local model that cannot
// be read leaves nothing to compare with, as on a first fetch; a new model
// that cannot be read is a fault.
TableChangeMap compareChanges(const QString& oldModel, const QString& newModel)
{
    try {
        return compareModelFiles(oldModel, newModel);
    } catch (const CentralStoreError&) {
        checkModelFile(newModel);
        try {
            checkModelFile(oldModel);
        } catch (const CentralStoreError&) {
            return {};
        }
        throw;
    }
}

} // namespace

LocalCentralStore::LocalCentralStore(QString location)
    : m_location(std::move(location))
{
}

QString LocalCentralStore::configuredLocation()
{
    const QString fromEnvironment = qEnvironmentVariable("BIMCORE_CENTRAL_STORE");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QSettings(QStringLiteral("Korvane"), QStringLiteral("PlatformService"))
        .value(QStringLiteral("CentralStore/Location"))
        .toString();
}

QString LocalCentralStore::location() const
{
    return m_location.isEmpty() ? configuredLocation() : m_location;
}

TableChangeMap LocalCentralStore::fetch(
    const FileProcessParams& params, const Progress& progress) const
{
    auto report = [&progress](const QString& text, double percent) {
        if (progress)
            progress(text.toStdWString(), percent);
    };

    // Opening the update first repairs whatever an interrupted one left.
    ProjectFolderUpdate update(QString::fromStdWString(params.m_projectPath));

    const QString store = location();
    if (store.isEmpty())
        throw CentralStoreError(QStringLiteral(
            "No central store is configured (set BIMCORE_CENTRAL_STORE or the setting "
            "CentralStore/Location of Korvane/PlatformService)."));
    const QFileInfo storeInfo(store);
    if (!storeInfo.isDir()
        || ::access(QFile::encodeName(storeInfo.absoluteFilePath()).constData(), R_OK | X_OK) != 0)
        throw CentralStoreError(
            QStringLiteral("The central store \"%1\" cannot be read.").arg(display(store)));

    const QString key = QString::fromStdWString(params.m_projectKey);
    if (!isPlainKey(key))
        throw CentralStoreError(QStringLiteral("\"%1\" is not a valid project key.").arg(key));
    const QString source = storeInfo.absoluteFilePath() + QLatin1Char('/') + key;
    const QStringList names { QLatin1String(kModelFileName), QLatin1String(kDatabaseFileName) };
    qint64 totalBytes = 0;
    for (const QString& name : names) {
        const QFileInfo file(source + QLatin1Char('/') + name);
        if (!file.isFile())
            throw CentralStoreError(
                QStringLiteral("Project \"%1\" is not in the central store \"%2\" (no %3).")
                    .arg(key, display(store), name));
        if (!file.isReadable())
            throw CentralStoreError(QStringLiteral("\"%1\" in the central store cannot be read.")
                                        .arg(display(file.filePath())));
        totalBytes += file.size();
    }

    // The comparison of the local model with the central one runs while the
    // files are copied and flushed.
    const QString sourceModel = source + QLatin1Char('/') + names[0];
    const QString oldModel = update.projectFolder() + QLatin1Char('/') + names[0];
    const bool haveOldModel = update.projectFolderExisted() && QFileInfo(oldModel).isFile();
    const DurableFiles::FileIdentity compared = DurableFiles::identify(sourceModel);
    std::future<TableChangeMap> comparison;
    if (haveOldModel)
        comparison = std::async(std::launch::async, &compareChanges, oldModel, sourceModel);
    else
        checkModelFile(sourceModel);

    const QString staging = update.stage(names);
    DurableFiles::FileIdentity copiedModel;
    qint64 bytesBefore = 0;
    for (const QString& name : names) {
        const QString text = QStringLiteral("Fetching %1").arg(name);
        const double scale = kCopyShare / double(std::max<qint64>(totalBytes, 1));
        report(text, scale * bytesBefore);
        const auto copied = DurableFiles::copyFile(source + QLatin1Char('/') + name,
            staging + QLatin1Char('/') + name,
            [&](qint64 done, qint64) { report(text, scale * (bytesBefore + done)); });
        if (name == names[0])
            copiedModel = copied;
        bytesBefore += copied.size;
    }

    report(QStringLiteral("Comparing the models"), kCopyShare);
    TableChangeMap changes;
    if (haveOldModel) {
        changes = comparison.get();
        // The central model was replaced while it was read: compare again with
        // what was actually copied.
        if (copiedModel != compared || DurableFiles::identify(sourceModel) != compared)
            changes = compareChanges(oldModel, staging + QLatin1Char('/') + names[0]);
    } else if (copiedModel != compared) {
        checkModelFile(staging + QLatin1Char('/') + names[0]);
    }

    report(QStringLiteral("Replacing the local project files"), kCopyShare + 5);
    update.commit();
    report(QStringLiteral("Project files are up to date"), 100.0);
    return changes;
}

void LocalCentralStore::Process(
    const FileProcessParams& params, int requestFlag, CentralServiceContext& context)
{
    if (requestFlag != kRequestFlagSubmit)
        throw CentralStoreError(
            QStringLiteral("The request was not submitted (request flag %1).").arg(requestFlag));
    if (params.m_operation != kFetchProjectFilesOperation)
        throw CentralStoreError(QStringLiteral("The central store does not offer \"%1\".")
                                    .arg(QString::fromStdWString(params.m_operation)));
    auto progress = [&context](const std::wstring& text, double percent) {
        if (context.StopRequested())
            throw CentralStoreError(QStringLiteral("The platform hub is shutting down."));
        context.ReportProgress(text, percent);
    };
    context.Respond(fetch(params, progress));
}

} // namespace PlatformSvcComm
