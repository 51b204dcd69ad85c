#include "LocalCentralStore.h"

#include "ProjectFolderUpdate.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <future>
#include <stdexcept>
#include <unistd.h>

namespace PlatformSvcComm {

namespace {

constexpr double kCopyShare = 90.0; // percent of the progress bar spent copying

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

QString storeLocation()
{
    const QString fromEnvironment = qEnvironmentVariable("BIMCORE_CENTRAL_STORE");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QSettings(QStringLiteral("Korvane"), QStringLiteral("PlatformService"))
        .value(QStringLiteral("CentralStore/Location"))
        .toString();
}

// The changes from the local model to the new one. A local model that cannot
// be read leaves nothing to compare with, as on a first fetch; a new model
// that cannot be read is a fault.
TableChangeMap compareChanges(const QString& oldModel, const QString& newModel)
{
    try {
        return compareModelFiles(oldModel, newModel);
    } catch (const std::exception&) {
        checkModelFile(newModel);
        try {
            checkModelFile(oldModel);
        } catch (const std::exception&) {
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

TableChangeMap LocalCentralStore::fetch(const FileProcessParams& params, const Progress& progress,
    const std::function<void(const TableChangeMap&)>& inPlace) const
{
    auto report = [&progress](const QString& text, double percent) {
        if (progress)
            progress(text.toStdWString(), percent);
    };

    // Opening the update first repairs whatever an interrupted one left.
    ProjectFolderUpdate update(QString::fromStdWString(params.m_projectPath));

    const QString store = m_location.isEmpty() ? storeLocation() : m_location;
    if (store.isEmpty())
        fail(QStringLiteral("No central store is configured (set BIMCORE_CENTRAL_STORE or the "
                            "setting CentralStore/Location of Korvane/PlatformService)."));
    const QFileInfo storeInfo(store);
    if (!storeInfo.isDir()
        || ::access(QFile::encodeName(storeInfo.absoluteFilePath()).constData(), R_OK | X_OK) != 0)
        fail(QStringLiteral("The central store \"%1\" cannot be read.")
                 .arg(QDir::toNativeSeparators(store)));

    const QString key = QString::fromStdWString(params.m_projectKey);
    if (key.trimmed().isEmpty() || key == QLatin1String(".") || key == QLatin1String("..")
        || key.contains(QLatin1Char('/')) || key.contains(QLatin1Char('\\')))
        fail(QStringLiteral("\"%1\" is not a valid project key.").arg(key));
    const QString source = storeInfo.absoluteFilePath() + QLatin1Char('/') + key + QLatin1Char('/');
    const QStringList names { QStringLiteral("KBMProjectTemplate.Tessel"),
        QStringLiteral("KBMProjectTemplate.db") };
    qint64 totalBytes = 0;
    for (const QString& name : names) {
        const QFileInfo file(source + name);
        if (!file.isFile())
            fail(QStringLiteral("Project \"%1\" is not in the central store \"%2\" (no %3).")
                     .arg(key, QDir::toNativeSeparators(store), name));
        if (!file.isReadable())
            fail(QStringLiteral("\"%1\" in the central store cannot be read.")
                     .arg(QDir::toNativeSeparators(file.filePath())));
        totalBytes += file.size();
    }

    // A journal of the old files left by a crash would be applied to the new.
    QStringList replaced = names;
    for (const QString& name : names)
        replaced << name + QStringLiteral("-journal") << name + QStringLiteral("-wal")
                 << name + QStringLiteral("-shm");
    const QString staging = update.stage(replaced) + QLatin1Char('/');
    qint64 copied = 0;
    const double scale = kCopyShare / double(std::max<qint64>(totalBytes, 1));
    auto fetchFile = [&](const QString& name) {
        const QString text = QStringLiteral("Fetching %1").arg(name);
        report(text, scale * copied);
        copied += copyFile(source + name, staging + name,
            [&](qint64 done) { report(text, scale * (copied + done)); });
    };

    // The model delivered, not the one in the store that may change meanwhile,
    // is compared with the local one while the rest is copied and flushed.
    fetchFile(names[0]);
    const QString newModel = staging + names[0];
    const QString oldModel = update.projectFolder() + QLatin1Char('/') + names[0];
    std::future<TableChangeMap> comparison = std::async(std::launch::async, [&] {
        if (update.projectFolderExisted() && QFileInfo(oldModel).isFile())
            return compareChanges(oldModel, newModel);
        checkModelFile(newModel);
        return TableChangeMap();
    });
    fetchFile(names[1]);
    for (const QString& name : names)
        flushFile(staging + name);
    report(QStringLiteral("Comparing the models"), kCopyShare);
    const TableChangeMap changes = comparison.get();

    report(QStringLiteral("Replacing the local project files"), kCopyShare + 5);
    update.commit();
    report(QStringLiteral("Project files are up to date"), 100.0);
    if (inPlace)
        inPlace(changes);
    return changes; // the old files go with `update`
}

void LocalCentralStore::Process(
    const FileProcessParams& params, int requestFlag, CentralServiceContext& context)
{
    if (requestFlag != kRequestFlagSubmit)
        fail(QStringLiteral("The request was not submitted (request flag %1).").arg(requestFlag));
    if (params.m_operation != kFetchProjectFilesOperation)
        fail(QStringLiteral("The central store does not offer \"%1\".")
                 .arg(QString::fromStdWString(params.m_operation)));
    fetch(
        params,
        [&context](const std::wstring& text, double percent) {
            if (context.StopRequested())
                fail(QStringLiteral("The platform hub is shutting down."));
            context.ReportProgress(text, percent);
        },
        [&context](const TableChangeMap& changes) { context.Respond(changes); });
}

} // namespace PlatformSvcComm
