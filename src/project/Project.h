#pragma once

/** @file
 * @brief Project: the one project the host works on. */

#include <bimcore/core/bimcore_export.h>
#include <bimcore/platform/ksqlite/KSqlTable.h>
#include <bimcore/project/ProgressCallback.h>
#include <bimcore/project/TableDeltaInfo.h>
#include <bimcore/platform/tessel/TesselTable.h>

#include <QString>

#include <memory>

namespace bimcore {

class DatabaseManager;

/**
 * @brief The one project the host works on: the local project folder named by
 * Global::m_projectPath, its model and SQLite database (through a
 * DatabaseManager), the changes of the last update and the text of the last
 * failed update.
 *
 * The library never creates a project. The host derives its own class, makes
 * one object of it with new and stores it in s_pSelf; instance() hands it out
 * from then on and destory() deletes it. The order of the virtual operations
 * and of the fields is part of the exported interface.
 *
 * Thread: the main thread, the one that runs the Qt event loop. open() and
 * updateProject() wait in a nested local event loop; host code run by that
 * loop must not start another update or request.
 */
class BIMCORE_EXPORT Project
{
protected:
    /** @brief A closed project with no stores, texts or changes. */
    Project();
    /** @brief Closes the SQLite database first, then releases the stores. Use destory(). */
    virtual ~Project();

public:
    /** @brief Member-wise: the copy shares the open stores and gets its own change record.
     *  @param other the project copied */
    Project(const Project& other);
    /** @brief Member-wise assignment, as the copy constructor.
     *  @param other the project copied @return this project */
    Project& operator=(const Project& other);

    /** @brief The registered object. @return s_pSelf, or null; never creates one. */
    static Project* instance();
    /** @brief Deletes the registered object, if any, and unregisters it. @throws nothing. */
    static void destory();

    /**
     * @brief Opens the local project, updating it first through the central
     * service when the folder is missing, or its "project" table has no
     * record or a first record whose "id" is 0.
     * @param callback receives the hub's progress during an update; may be null.
     * @return true when the project is open; the update's result when one ran
     *         (false: see GetErrorMsg()).
     * @throws BIMException "打开项目失败！" when the project cannot be opened.
     * @throws KRVException (the data-model library's) when the "project" table
     *         or its "id" cannot be read; the local files are left as they are.
     */
    virtual bool open(ProgressCallback callback);
    /** @brief Writes nothing in the base class, for a subclass to override. @return false. */
    virtual bool save();
    /** @brief Deletes Global::m_projectCacheDir with everything below it; an
     *  open project stays open. @return whether the folder is gone. @throws nothing. */
    virtual bool clear();
    /** @brief Releases the stores and forgets the texts and the change record.
     *  @return true. @throws nothing. */
    virtual bool close();
    /**
     * @brief Brings the local copy up to date through the central service
     * (posting a file-processing request through the platform hub and waiting
     * with no time limit), keeps the changed tables in getChangedDelta() and
     * opens the project again.
     * @param callback receives the hub's progress while it waits; may be null.
     * @return false when the service reported an error; its text is GetErrorMsg().
     * @throws BIMException "打开项目失败！" when the project cannot be opened afterwards.
     */
    virtual bool updateProject(ProgressCallback callback);
    /**
     * @brief A table of the model's database "DB"; opens the project first when it is closed.
     * @param name the table's name, exactly.
     * @return the table, or a null table when there is none.
     * @throws BIMException "打开项目失败！" when the project has to be opened and cannot be.
     */
    virtual TesselTable getTesselTable(const QString& name);
    /**
     * @brief A table of the project's SQLite database; opens the project first when it is closed.
     * @param name the table's name.
     * @return the table, invalid when there is none.
     * @throws BIMException "打开项目失败！" when the project has to be opened and cannot be.
     */
    virtual KSQLite::KSqlTable getSQLTable(const QString& name);

    /** @brief The error text of the last failed update. @return empty when none failed. */
    QString GetErrorMsg();
    /**
     * @brief Why the last open of the project's files failed, for the host's
     *        developer: the project folder, a colon and the cause
     *        (a file it lacks, the data-model library's or SQLite's message,
     *        a lock another process holds). The user sees only "打开项目失败！".
     * @return empty when the last open succeeded or none was tried.
     *
     * Set by open(), updateProject() and every lazy open; the same text goes
     * to the logging category "bimcore.project" at debug level.
     */
    QString lastOpenError() const;
    /** @brief The manager of the open project's stores. @return null while the project is closed. */
    std::shared_ptr<DatabaseManager> GetDatabaseManager();
    /** @brief The tables the last update changed. @return the project's own record, to read or clear. */
    TableDeltaInfo& getChangedDelta();
    /** @brief Whether the last update changed a table the host builds its model from.
     *  @return true when the host must rebuild its model. */
    bool needResetModel();
    /** @brief "workspace_id" of the model's "project" record.
     *  @return empty when there is none or the project cannot be read. */
    QString workspaceId();

protected:
    /**
     * @brief Opens Global::m_projectPath, whatever path is given: callers pass
     * either that path or, for a lazy open, an empty one.
     * A folder that is no project (a file missing) releases the stores the
     * project had; a load that raises leaves them as they were.
     * @param path ignored; see above.
     * @return true.
     * @throws BIMException "打开项目失败！" when the project cannot be opened.
     */
    bool OpenProject(const QString& path);

    /** @brief The subclass's own text; not read by the library. */
    QString m_info1;
    /** @brief The subclass's own text; not read by the library. */
    QString m_info2;
    /** @brief The subclass's own text; not read by the library. */
    QString m_info3;
    /** @brief The open project's stores; null while closed. */
    std::shared_ptr<DatabaseManager> m_pDatabaseManager;
    /** @brief Whether the stores are open. */
    bool m_bOpened;
    /** @brief The tables the last update changed (getChangedDelta()). */
    TableDeltaInfo m_delta;
    /** @brief The error text of the last failed update (GetErrorMsg()). */
    QString m_errorMsg;

private:
    QString m_openError; // lastOpenError()

protected:

    /** @brief The registered project, set by the host after it creates its object with new. */
    static Project* s_pSelf;
};

} // namespace bimcore

#ifndef BIMCORE_NO_GLOBAL_NAMES
using bimcore::Project;
#endif
