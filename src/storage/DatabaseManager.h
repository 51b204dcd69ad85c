#pragma once

#include <bimcore/core/bimcore_export.h>
#include <bimcore/platform/tessel/TesselModel.h>

#include <QString>

#include <memory>

class DatabaseData;
namespace KSQLite {
class KSqlDatabase;
}

// The two stores of one project folder: the model loaded from
// "KBMProjectTemplate.Tessel" and the SQLite database "KBMProjectTemplate.db",
// both used where they lie. Made only by OpenProject and handed out through a
// shared pointer; copies share the stores, which live until the last copy
// goes.
class BIMCORE_EXPORT DatabaseManager
{
public:
    // A loaded manager: model loaded, identifier fields prepared, mode 2,
    // database open. Empty when the folder or one of the two files is
    // missing. A model or database that cannot be opened raises BIMException
    // with the library's message and code 0.
    static std::shared_ptr<DatabaseManager> OpenProject(const QString& path);
    // True when the folder holds both project files; opens nothing.
    static bool ProjectExists(const QString& path);

    DatabaseManager(const DatabaseManager& other);
    DatabaseManager& operator=(const DatabaseManager& other);
    ~DatabaseManager();

    // The project model (the same model object for every copy).
    TesselModel ProjectModel();
    // The database, still owned by the manager; null when there is none.
    KSQLite::KSqlDatabase* SqliteProjectData();

private:
    DatabaseManager();

    bool LoadDatabase(const QString& path);

    std::shared_ptr<DatabaseData> m_pData;
};
