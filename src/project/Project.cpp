#include "Project.h"

#include <bimcore/core/BIMException.h>
#include <bimcore/core/Global.h>
#include <bimcore/core/Logging.h>
#include <bimcore/core/UserMessages.h>
#include <bimcore/storage/DatabaseManager.h>

#include <bimcore/platform/krvcommon/FileSystem.h>
#include <bimcore/platform/krvcommon/KRVException.h>
#include <bimcore/platform/ksqlite/KSqlDatabase.h>
#include <bimcore/platform/tessel/TesselModel.h>
#include <bimcore/platform/tessel/TesselRecord.h>

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <utility>

namespace bimcore {

Project* Project::s_pSelf = nullptr;

namespace {

const QString& projectPath()
{
    return Singleton<Global>::instance()->m_projectPath;
}

// A local copy that the central service never filled has no project record,
// or one whose identifier is still 0; it is fetched again. Anything else that
// stops the record from being read (no "project" table, no "id" field) is the
// data-model library's to report: the local files are never replaced for it.
bool needsUpdate(const TesselTable& project)
{
    return project.recordCount() == 0 || project[0].asUInt64(QStringLiteral("id")) == 0;
}

// Why a folder holds no project the stores could open.
QString missingFiles(const QString& folder)
{
    const QDir dir(folder);
    if (!dir.exists())
        return QStringLiteral("%1: no such folder").arg(folder);
    QStringList missing;
    for (const char* name : { "KBMProjectTemplate.Tessel", "KBMProjectTemplate.db" }) {
        if (!QFileInfo(dir.filePath(QLatin1String(name))).isFile())
            missing << QLatin1String(name);
    }
    return QStringLiteral("%1: the folder lacks %2").arg(folder, missing.join(QLatin1String(" and ")));
}

} // namespace

Project::Project()
    : m_bOpened(false)
{
}

Project::~Project()
{
    // The database is closed even when the host still holds a copy of the
    // manager: the project is what keeps the file open on the host's behalf.
    if (m_pDatabaseManager) {
        if (KSQLite::KSqlDatabase* database = m_pDatabaseManager->SqliteProjectData())
            database->Close();
        m_pDatabaseManager.reset();
    }
}

Project::Project(const Project& other) = default;

Project& Project::operator=(const Project& other) = default;

Project* Project::instance()
{
    return s_pSelf;
}

void Project::destory()
{
    delete s_pSelf;
    s_pSelf = nullptr;
}

bool Project::open(ProgressCallback callback)
{
    m_bOpened = false;
    // The base update is called directly: an override of the host's must not
    // change how a project is fetched while it is opened.
    if (!directoryExists(projectPath())) {
        m_bOpened = Project::updateProject(callback);
        return m_bOpened;
    }
    m_bOpened = OpenProject(projectPath());
    if (needsUpdate(getTesselTable(QStringLiteral("project"))))
        m_bOpened = Project::updateProject(callback);
    return m_bOpened;
}

bool Project::save()
{
    return false;
}

bool Project::clear()
{
    const QString& cache = Singleton<Global>::instance()->m_projectCacheDir;
    if (deleteTree(cache))
        return true;
    qCDebug(lcProject) << "clear could not delete all of" << cache;
    return false;
}

bool Project::close()
{
    m_info1 = QString();
    m_info2 = QString();
    m_info3 = QString();
    m_pDatabaseManager.reset();
    m_delta.tables.clear();
    return true;
}

TesselTable Project::getTesselTable(const QString& name)
{
    if (!m_pDatabaseManager)
        OpenProject(QString());
    return m_pDatabaseManager->ProjectModel().findTable(QStringLiteral("DB"), name);
}

KSQLite::KSqlTable Project::getSQLTable(const QString& name)
{
    if (!m_pDatabaseManager)
        OpenProject(QString());
    return KSQLite::KSqlTable(m_pDatabaseManager->SqliteProjectData(), name.toStdString(), false);
}

QString Project::GetErrorMsg()
{
    return m_errorMsg;
}

QString Project::lastOpenError() const
{
    return m_openError;
}

std::shared_ptr<DatabaseManager> Project::GetDatabaseManager()
{
    return m_pDatabaseManager;
}

TableDeltaInfo& Project::getChangedDelta()
{
    return m_delta;
}

bool Project::needResetModel()
{
    if (m_delta.tables.empty())
        return false;
    // The tables the host builds its model from.
    static const QSet<QString> resetTables {
        QStringLiteral("model_file_revision"),
        QStringLiteral("site"),
        QStringLiteral("site_file"),
        QStringLiteral("segment"),
        QStringLiteral("segment_line"),
        QStringLiteral("segment_element"),
        QStringLiteral("segment_floor"),
        QStringLiteral("segment_element_type_sub_class"),
        QStringLiteral("segment_system"),
        QStringLiteral("segment_custom_filter"),
        QStringLiteral("material"),
        QStringLiteral("material_plan_detail"),
    };
    for (const auto& table : m_delta.tables) {
        if (resetTables.contains(QString::fromStdWString(table.first)))
            return true;
    }
    return false;
}

QString Project::workspaceId()
{
    const TesselTable project = getTesselTable(QStringLiteral("project"));
    if (project.isNull() || project.recordCount() < 1) {
        qCDebug(lcProject) << "workspaceId: the model has no \"project\" record";
        return QString();
    }
    try {
        return project[0].asString(QStringLiteral("workspace_id"));
    } catch (const KRVException& e) {
        // A model without the field has no workspace to name.
        qCDebug(lcProject).noquote() << "workspaceId:" << e.message();
        return QString();
    }
}

bool Project::OpenProject(const QString& /*path*/)
{
    // Every caller means the project folder of the launch parameters; a lazy
    // open passes an empty path.
    const QString& folder = projectPath();
    std::shared_ptr<DatabaseManager> manager;
    QString cause;
    bool raised = true;
    try {
        manager = DatabaseManager::OpenProject(folder);
        raised = false;
    } catch (const BIMException& e) {
        cause = e.message();
    } catch (const std::exception& e) {
        cause = QString::fromUtf8(e.what());
    } catch (...) {
        cause = QStringLiteral("an unknown exception");
    }
    m_openError = raised ? QStringLiteral("%1: %2").arg(folder, cause)
        : manager        ? QString()
                         : missingFiles(folder);
    if (!m_openError.isEmpty()) {
        qCDebug(lcProject).noquote() << "open failed:" << m_openError;
        // A folder that is no project releases the stores; a load that raised
        // leaves them as they were. The host sees one message either way.
        if (!raised)
            m_pDatabaseManager.reset();
        throw BIMException(openFailedMessage(), 0);
    }
    m_pDatabaseManager = std::move(manager);
    return true;
}

} // namespace bimcore
