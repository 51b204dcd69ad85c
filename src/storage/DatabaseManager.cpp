#include "DatabaseManager.h"

#include "DatabaseData.h"
#include "Int64Processor.h"

#include <bimcore/core/BIMException.h>
#include <bimcore/core/Logging.h>

#include <bimcore/platform/krvcommon/FileSystem.h>
#include <bimcore/platform/krvcommon/KRVException.h>
#include <bimcore/platform/ksqlite/KSqlDatabase.h>
#include <bimcore/platform/ksqlite/KSqlException.h>
#include <bimcore/platform/platformsvc/ProjectFolderUpdate.h>
#include <bimcore/platform/tessel/TesselEngine.h>
#include <bimcore/platform/tessel/TesselModelPersistent.h>
#include <bimcore/platform/tessel/VellEngine.h>

#include <QDir>

namespace bimcore {

namespace {

const QString kModelFileName = QStringLiteral("KBMProjectTemplate.Tessel");
const QString kDatabaseFileName = QStringLiteral("KBMProjectTemplate.db");

// The folder in the platform's own form, ending in its separator, so that the
// file names can be joined to it directly.
QString normalisedFolder(const QString& path)
{
    QString folder = QDir::toNativeSeparators(path);
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    return folder;
}

bool holdsProject(const QString& folder)
{
    return directoryExists(folder) && fileExists(folder + kModelFileName)
        && fileExists(folder + kDatabaseFileName);
}

} // namespace

DatabaseManager::DatabaseManager()
    : m_pData(std::make_shared<DatabaseData>())
{
}

DatabaseManager::DatabaseManager(const DatabaseManager& other) = default;

DatabaseManager& DatabaseManager::operator=(const DatabaseManager& other) = default;

DatabaseManager::~DatabaseManager() = default;

std::shared_ptr<DatabaseManager> DatabaseManager::OpenProject(const QString& path)
{
    // The constructor is private, so make_shared cannot reach it.
    std::shared_ptr<DatabaseManager> manager(new DatabaseManager());
    if (!manager->LoadDatabase(path))
        return nullptr;
    return manager;
}

bool DatabaseManager::ProjectExists(const QString& path)
{
    return holdsProject(normalisedFolder(path));
}

TesselModel DatabaseManager::ProjectModel()
{
    if (!m_pData)
        return TesselModel(nullptr);
    return m_pData->m_model;
}

KSQLite::KSqlDatabase* DatabaseManager::SqliteProjectData()
{
    if (!m_pData)
        return nullptr;
    return m_pData->m_pSqlDatabase.get();
}

bool DatabaseManager::LoadDatabase(const QString& path)
{
    // Both files are read under the folder's lock, so they are of one
    // revision; an update killed between its two renames is finished first.
    PlatformSvcComm::LockedFolder readLock;
    try {
        readLock = PlatformSvcComm::ProjectFolderUpdate::lockedForReading(path);
    } catch (const std::exception& e) {
        qCDebug(lcStorage).noquote() << path << "cannot be locked or repaired:" << e.what();
        throw BIMException(QString::fromUtf8(e.what()), 0);
    }
    const QString folder = normalisedFolder(path);
    if (!holdsProject(folder))
        return false;

    m_pData->m_model = tesselEngine(QString()).createModel(true, VellEngine(nullptr));
    try {
        TesselModelPersistent(m_pData->m_model).loadFromFile(folder + kModelFileName, false, true);
        m_pData->m_model.fetchCommand(); // the load is no change anyone tracks
        Int64Processor::instance()->process(m_pData->m_model);
        if (m_pData->m_model.mode() != tmRuntime)
            m_pData->m_model.setMode(tmRuntime);
    } catch (const KRVException& e) {
        qCDebug(lcStorage).noquote() << folder + kModelFileName << "cannot be loaded:" << e.message();
        throw BIMException(e.message(), 0);
    }

    m_pData->m_pSqlDatabase = std::make_shared<KSQLite::KSqlDatabase>();
    try {
        m_pData->m_pSqlDatabase->Open((folder + kDatabaseFileName).toStdString(), true);
    } catch (const KSQLite::KSqlException& e) {
        qCDebug(lcStorage).noquote() << folder + kDatabaseFileName << "cannot be opened:" << QString::fromStdString(e.msg());
        throw BIMException(e.msg(), 0);
    }
    return true;
}

} // namespace bimcore
