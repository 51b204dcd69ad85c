#include "ElementType.h"

#include <bimcore/core/BIMException.h>
#include <bimcore/core/Logging.h>
#include <bimcore/core/UserMessages.h>
#include <bimcore/project/Project.h>

#include <bimcore/platform/tessel/TesselRecord.h>
#include <bimcore/platform/tessel/TesselTable.h>

namespace bimcore {

ElementType* ElementType::m_instance = nullptr;

namespace {

// Element types are the records of this node type; the others are the
// categories above them.
constexpr int kElementTypeNode = 2;

// Reads the table's records into the map, each name as it is read. Nothing
// is caught: a project that cannot be opened or a table that cannot be read
// reaches the caller as it was raised, and a map left empty is loaded again
// on the next lookup. Without a registered project there is no project to
// open, which the host hears of as of any project that cannot be opened.
template <class Map, class Read> void loadOnce(Map& names, const QString& tableName, Read read)
{
    if (!names.isEmpty())
        return;
    Project* project = Project::instance();
    if (!project) {
        qCDebug(lcStorage) << "no project is registered (Project::s_pSelf) to read" << tableName << "from";
        throw BIMException(openFailedMessage(), 0);
    }
    const TesselTable table = project->getTesselTable(tableName);
    for (int row = 0; row < table.recordCount(); ++row)
        read(table[row], names);
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
    if (!m_elementTypes.contains(id))
        qCDebug(lcStorage) << "no element type" << id << "among the" << m_elementTypes.size()
                           << "of table element_type with node_type 2";
    // The inserting lookup: an unknown identifier is remembered with no name.
    return m_elementTypes[id];
}

QString ElementType::getSpecialNamebyId(unsigned long long id)
{
    loadSpecialty();
    if (!m_specialties.contains(id))
        qCDebug(lcStorage) << "no specialty" << id << "among the" << m_specialties.size()
                           << "of table specialty";
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

} // namespace bimcore
