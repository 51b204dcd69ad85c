#pragma once

#include <bimcore/core/bimcore_export.h>
#include <bimcore/platform/ksqlite/KSqlTable.h>
#include <bimcore/project/ProgressCallback.h>
#include <bimcore/project/TableDeltaInfo.h>
#include <bimcore/platform/tessel/TesselTable.h>

#include <QString>

#include <memory>

class DatabaseManager;

// The one project the host works on: the local project folder named by
// Global::m_projectPath, its model and SQLite database (through a
// DatabaseManager), the changes of the last update and the text of the last
// failed update.
//
// The library never creates a project. The host derives its own class, makes
// one object of it with new and stores it in s_pSelf; instance() hands it out
// from then on and destory() deletes it.
//
// The order of the virtual operations and of the fields is part of the
// exported interface.
class BIMCORE_EXPORT Project
{
protected:
    Project();
    virtual ~Project();

public:
    // Member-wise: a copy shares the open stores and gets its own delta.
    Project(const Project& other);
    Project& operator=(const Project& other);

    // The registered object, or null; never creates one.
    static Project* instance();
    // Deletes the registered object, if any, and unregisters it.
    static void destory();

    // Opens the local project, updating it first through the central service
    // when there is no usable local copy. Throws BIMException "打开项目失败！"
    // when the folder exists but its project cannot be opened.
    virtual bool open(ProgressCallback callback);
    // Writes nothing in the base class; always false.
    virtual bool save();
    // Removes Global::m_projectCacheDir; an open project stays open.
    virtual bool clear();
    // Releases the stores and forgets the texts and the delta; always true.
    virtual bool close();
    // Brings the local copy up to date through the central service and opens
    // it again; false when the service reported an error (see GetErrorMsg).
    virtual bool updateProject(ProgressCallback callback);
    // The model table of database "DB", or a null table when there is none.
    // Opens the project first when it is closed.
    virtual TesselTable getTesselTable(const QString& name);
    // The SQLite table, invalid when there is none. Opens the project first
    // when it is closed.
    virtual KSQLite::KSqlTable getSQLTable(const QString& name);

    QString GetErrorMsg();
    // Null while the project is closed.
    std::shared_ptr<DatabaseManager> GetDatabaseManager();
    TableDeltaInfo& getChangedDelta();
    // True when the last update changed a table the host builds its model
    // from, so that the host must rebuild it.
    bool needResetModel();
    // "workspace_id" of the project record; empty when there is none.
    QString workspaceId();

protected:
    // Opens Global::m_projectPath, whatever path is given: callers pass either
    // that path or, for a lazy open, an empty one. Returns true or throws
    // BIMException "打开项目失败！". A folder that is no project (a file
    // missing) releases the stores the project had; a load that raises leaves
    // them as they were.
    bool OpenProject(const QString& path);

    QString m_info1; // m_info1..3 belong to the subclass
    QString m_info2;
    QString m_info3;
    std::shared_ptr<DatabaseManager> m_pDatabaseManager;
    bool m_bOpened;
    TableDeltaInfo m_delta;
    QString m_errorMsg;

    static Project* s_pSelf;
};
