#include "ElementType.h"

#include <core/BIMException.h>
#include <project/Project.h>

#include <krvcommon/KRVException.h>
#include <tessel/TesselRecord.h>
#include <tessel/TesselTable.h>

#include <utility>

ElementType* ElementType::m_instance = nullptr;

namespace {

// Element types are the records of this node type; the others are the
// categories above them.
constexpr int kElementTypeNode = 2;

TesselTable modelTable(const QString& name)
{
    Project* project = Project::instance();
    if (!project)
        throw BIMException(QStringLiteral("No project is registered"), 0);
    return project->getTesselTable(name);
}

// Reads every record of the table into a fresh map, which replaces the target
// only once it is complete: a failure leaves the target empty for a retry.
template <class Map, class Read> void loadOnce(Map& target, const QString& tableName, Read read)
{
    if (!target.isEmpty())
        return;
    Map loaded;
    try {
        // A model without the table cannot be read either: recordCount raises,
        // so the map stays empty and a later lookup tries again.
        const TesselTable table = modelTable(tableName);
        for (int row = 0; row < table.recordCount(); ++row)
            read(table[row], loaded);
    } catch (const KRVException& e) {
        // A table without the expected fields is the model's fault; the host
        // only ever sees our own exception type.
        throw BIMException(e.message(), 0);
    }
    target.swap(loaded);
}

} // namespace

ElementType::ElementType() = default;

ElementType::ElementType(const ElementType& other) = default;

ElementType& ElementType::operator=(const ElementType& other) = default;

ElementType::~ElementType() = default;

ElementType* ElementType::instance()
{
    if (!m_instance)
        m_instance = new ElementType(); // lives until the process ends
    return m_instance;
}

QString ElementType::getElementTypeNamebyId(int id)
{
    loadElementType();
    // The inserting lookup: an unknown identifier is remembered with no name.
    return m_elementTypes[id];
}

QString ElementType::getSpecialNamebyId(unsigned long long id)
{
    loadSpecialty();
    return m_specialties[id];
}

void ElementType::loadElementType()
{
    loadOnce(m_elementTypes, QStringLiteral("element_type"),
        [](const TesselRecord& record, QHash<int, QString>& names) {
            if (record.asInteger(QStringLiteral("node_type")) == kElementTypeNode)
                names.insert(record.asInteger(QStringLiteral("element_type_id")),
                    record.asString(QStringLiteral("name")));
        });
}

void ElementType::loadSpecialty()
{
    loadOnce(m_specialties, QStringLiteral("specialty"),
        [](const TesselRecord& record, QHash<unsigned long long, QString>& names) {
            names.insert(record.id64(), record.asString(QStringLiteral("name")));
        });
}
