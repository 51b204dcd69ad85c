#include "LocalCentralStore.h"
#include "ModelComparison.h"
#include "ProjectFolderUpdate.h"
#include <bimcore/platform/ksqlite/KSqlStatement.h>
#include <sqlite3.h>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <stdexcept>

namespace PlatformSvcComm {
namespace {
[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

// A database SQLite cannot open, finds damaged or sees empty would replace a
// good local copy with one that no open can use.
void checkDatabase(const QString& staged, const QString& source)
{
    QString fault;
    try {
        const KSQLite::KSqlDatabase db(staged.toStdString(), SQLITE_OPEN_READONLY);
        KSQLite::KSqlStatement check(db, "PRAGMA quick_check");
        check.step();
        const std::string verdict = check.getText(0);
        KSQLite::KSqlStatement tables(db, "SELECT count(*) FROM sqlite_master");
        tables.step();
        if (verdict != "ok")
            fault = QString::fromStdString(verdict);
        else if (tables.getInt64(0) == 0)
            fault = QStringLiteral("it holds no tables");
    } catch (const KSQLite::KSqlException& e) {
        fault = QString::fromUtf8(e.what());
    }
    if (!fault.isEmpty())
        fail(QStringLiteral("The central store's \"%1\" cannot be used: %2")
                 .arg(QDir::toNativeSeparators(source), fault));
}
} // namespace

LocalCentralStore::LocalCentralStore(QString location)
    : m_location(std::move(location))
{
}

TableChangeMap LocalCentralStore::fetch(
    const FileProcessParams& params, const Progress& progress) const
{
    auto report = [&progress](const QString& text, double percent) {
        if (progress)
            progress(text.toStdWString(), percent);
    };
    // Opening the update first completes or rolls back an interrupted one.
    ProjectFolderUpdate update(QString::fromStdWString(params.m_projectPath));

    QString store = m_location;
    if (store.isEmpty())
        store = qEnvironmentVariable("BIMCORE_CENTRAL_STORE");
    if (store.isEmpty())
        store = QSettings(QStringLiteral("Korvane"), QStringLiteral("PlatformService"))
                    .value(QStringLiteral("CentralStore/Location"))
                    .toString();
    if (store.isEmpty())
        fail(QStringLiteral("No central store is configured (set BIMCORE_CENTRAL_STORE or the "
                            "setting CentralStore/Location of Korvane/PlatformService)."));
    const QString key = QString::fromStdWString(params.m_projectKey);
    if (key.trimmed().isEmpty() || key == QLatin1String(".") || key == QLatin1String("..")
        || key.contains(QLatin1Char('/')) || key.contains(QLatin1Char('\\')))
        fail(QStringLiteral("\"%1\" is not a valid project key.").arg(key));
    const QString source = QDir(store).absoluteFilePath(key) + QLatin1Char('/');
    const QStringList& names = ProjectFolderUpdate::projectFiles();
    for (const QString& name : names)
        if (!QFileInfo(source + name).isFile())
            fail(QStringLiteral("Project \"%1\" is not in the central store \"%2\" (no %3).")
                     .arg(key, QDir::toNativeSeparators(store), name));

    for (int i = 0; i < names.size(); ++i) {
        report(QStringLiteral("Fetching %1").arg(names[i]), 45.0 * i);
        update.stage(source + names[i], names[i]);
    }
    checkDatabase(update.stagedPath(names[1]), source + names[1]);
    report(QStringLiteral("Comparing the models"), 90.0);
    const TableChangeMap changes
        = compareModelFiles(update.path(names[0]), update.stagedPath(names[0]));
    report(QStringLiteral("Replacing the local project files"), 95.0);
    update.commit();
    report(QStringLiteral("Project files are up to date"), 100.0);
    return changes;
}

void LocalCentralStore::Process(
    const FileProcessParams& params, int requestFlag, CentralServiceContext& context)
{
    if (requestFlag != kRequestFlagSubmit)
        fail(QStringLiteral("The request was not submitted (request flag %1).").arg(requestFlag));
    if (params.m_operation != kFetchProjectFilesOperation)
        fail(QStringLiteral("The central store does not offer \"%1\".")
                 .arg(QString::fromStdWString(params.m_operation)));
    context.Respond(fetch(params, [&context](const std::wstring& text, double percent) {
        if (context.StopRequested())
            fail(QStringLiteral("The platform hub is shutting down."));
        context.ReportProgress(text, percent);
    }));
}
} // namespace PlatformSvcComm
