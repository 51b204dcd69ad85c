#pragma once

#include "ChangeLog.h"
#include "TableObject.h"
#include "TesselObject.h"

#include <tessel/TesselInterfaces.h>
#include <tessel/TesselRef.h>

#include <QHash>
#include <QString>

#include <vector>

class DatabaseObject final : public TesselObject<ITesselDatabase>
{
public:
    DatabaseObject(ChangeLogPtr log, const QString& name);

    static DatabaseObject* from(ITesselDatabase* database)
    {
        return static_cast<DatabaseObject*>(database);
    }

    const QString& name() const { return m_name; }
    int tableCount() const { return static_cast<int>(m_tables.size()); }
    TableObject* table(int index) const;
    // Null when absent.
    TableObject* findTable(const QString& name) const;
    TableObject* addTable(const QString& name, TesselTableKind kind);

private:
    ChangeLogPtr m_log;
    QString m_name;
    std::vector<TesselRef<TableObject>> m_tables;
    QHash<QString, int> m_tableIndex;
};
