#pragma once

#include <bimcore/platform/ksqlite/KSqlDatabase.h>
#include <bimcore/platform/tessel/TesselModel.h>

#include <memory>

namespace bimcore {

// The two stores of one open project, shared by every copy of its
// DatabaseManager. The database closes when the last owner lets it go.
class DatabaseData
{
public:
    TesselModel m_model; // null until loaded
    std::shared_ptr<KSQLite::KSqlDatabase> m_pSqlDatabase; // empty until loaded
};

} // namespace bimcore
