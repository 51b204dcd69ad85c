#pragma once

/** @file
 * @brief DatabaseManager: a project folder's model and SQLite database. */

#include <bimcore/core/bimcore_export.h>
#include <bimcore/platform/tessel/TesselModel.h>

#include <QString>

#include <memory>

namespace KSQLite {
class KSqlDatabase;
}

namespace bimcore {

class DatabaseData;

/**
 * @brief The two stores of one project folder: the model loaded from
 * "KBMProjectTemplate.Tessel" and the SQLite database "KBMProjectTemplate.db",
 * both used where they lie.
 *
 * Made only by OpenProject() and handed out through a shared pointer; copies
 * share the stores, which live until the last copy goes.
 *
 * Thread: the main thread.
 */
class BIMCORE_EXPORT DatabaseManager
{
public:
    /**
     * @brief Opens a project folder: an interrupted update of it completed or
     * rolled back (after one still running), model loaded, 64-bit identifier
     * fields prepared, model mode 2, SQLite database open.
     * @param path the project folder.
     * @return the manager; empty when the folder or one of the two files is missing.
     * @throws BIMException (code 0) when the update cannot be finished or the
     * model or the database cannot be opened.
     */
    static std::shared_ptr<DatabaseManager> OpenProject(const QString& path);
    /** @brief Whether the folder holds both project files; opens nothing.
     *  @param path the project folder @return true when both files are there */
    static bool ProjectExists(const QString& path);

    /** @brief A copy sharing the stores. @param other the manager copied */
    DatabaseManager(const DatabaseManager& other);
    /** @brief Shares the other's stores. @param other the manager copied @return this manager */
    DatabaseManager& operator=(const DatabaseManager& other);
    /** @brief Releases this copy's share of the stores. */
    ~DatabaseManager();

    /** @brief The project model. @return the same model object for every copy. */
    TesselModel ProjectModel();
    /** @brief The project's SQLite database, still owned by the manager.
     *  @return null when there is none. */
    KSQLite::KSqlDatabase* SqliteProjectData();

private:
    DatabaseManager();

    bool LoadDatabase(const QString& path);

    std::shared_ptr<DatabaseData> m_pData;
};

} // namespace bimcore

#ifndef BIMCORE_NO_GLOBAL_NAMES
using bimcore::DatabaseManager;
#endif
