#include "ProjectReport.h"

#include "Console.h"
#include "HostProject.h"

#include <bimcore/core/Global.h>
#include <bimcore/platform/ksqlite/KSqlDatabase.h>
#include <bimcore/platform/ksqlite/KSqlStatement.h>
#include <bimcore/storage/DatabaseManager.h>
#include <bimcore/storage/ElementType.h>
#include <bimcore/platform/tessel/TesselDatabase.h>
#include <bimcore/platform/tessel/TesselModel.h>
#include <bimcore/platform/tessel/TesselTables.h>

#include <QMap>

#include <algorithm>
#include <exception>
#include <utility>

namespace {

constexpr int kLabelWidth = 17;
constexpr int kNamesShown = 6;

// What the central service attaches to each changed record.
QString changeKind(unsigned long long value)
{
    switch (value) {
    case 1:
        return QStringLiteral("added");
    case 2:
        return QStringLiteral("changed");
    case 3:
        return QStringLiteral("removed");
    default:
        return QStringLiteral("marked %1").arg(value);
    }
}

QStringList shortened(QStringList names, int total)
{
    if (total > names.size())
        names.append(QStringLiteral("... (%1 in all)").arg(total));
    return names;
}

} // namespace

ProjectReport::ProjectReport(HostProject& project, QString howOpened)
    : m_project(project)
    , m_howOpened(std::move(howOpened))
{
}

QString ProjectReport::wrappedList(const QString& label, const QStringList& items, int width)
{
    const QString indent(kLabelWidth, QLatin1Char(' '));
    QString text = (QStringLiteral("  ") + label).leftJustified(kLabelWidth - 1) + QLatin1Char(' ');
    int lineLength = text.size();
    for (int i = 0; i < items.size(); ++i) {
        const QString item = items.at(i) + (i + 1 < items.size() ? QStringLiteral(",") : QString());
        if (i > 0 && lineLength + 1 + item.size() > width) {
            text += QLatin1Char('\n') + indent;
            lineLength = indent.size();
        } else if (i > 0) {
            text += QLatin1Char(' ');
            ++lineLength;
        }
        text += item;
        lineLength += item.size();
    }
    return text;
}

void ProjectReport::print() const
{
    const Global& global = *Singleton<Global>::instance();
    const QString name = projectName();
    Console::line(QStringLiteral("Project %1%2 (id %3)")
                      .arg(global.m_projectKey,
                          name.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(name))
                      .arg(global.m_projectId));
    Console::line(wrappedList(QStringLiteral("folder"), { global.m_projectPath }));
    Console::line(wrappedList(QStringLiteral("opened"), { m_howOpened }));
    Console::line(wrappedList(QStringLiteral("workspace"), { m_project.workspaceId() }));
    Console::line(wrappedList(QStringLiteral("model tables"), modelTables()));
    Console::line(wrappedList(QStringLiteral("SQLite tables"), sqliteTables()));
    const QStringList changed = changes();
    Console::line(wrappedList(QStringLiteral("changes"),
        changed.isEmpty() ? QStringList { QStringLiteral("none") } : changed));
    Console::line(wrappedList(QStringLiteral("rebuild model"),
        { m_project.needResetModel() ? QStringLiteral("yes") : QStringLiteral("no") }));
    Console::line(wrappedList(QStringLiteral("element types"), elementTypes()));
    Console::line(wrappedList(QStringLiteral("specialties"), specialties()));
}

QString ProjectReport::projectName() const
{
    const TesselTable project = m_project.getTesselTable(QStringLiteral("project"));
    if (project.isNull() || project.recordCount() == 0)
        return QString();
    try {
        return project[0].asString(QStringLiteral("name"));
    } catch (const std::exception&) {
        return QString(); // a project record without a name
    }
}

QStringList ProjectReport::modelTables() const
{
    QMap<QString, int> counts;
    const TesselDatabase database
        = m_project.GetDatabaseManager()->ProjectModel().findDatabase(QStringLiteral("DB"));
    if (database.isNull())
        return { QStringLiteral("(no database \"DB\")") };
    const TesselTables tables = database.tables();
    for (int i = 0; i < tables.count(); ++i) {
        // Read through the project, as a host reads its tables.
        const QString name = tables.items(i).name();
        counts.insert(name, m_project.getTesselTable(name).recordCount());
    }
    QStringList items;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        items.append(QStringLiteral("%1 %2").arg(it.key()).arg(it.value()));
    return items;
}

QStringList ProjectReport::sqliteTables() const
{
    const KSQLite::KSqlDatabase* database = m_project.GetDatabaseManager()->SqliteProjectData();
    KSQLite::KSqlStatement list(*database,
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
        "ESCAPE '\\' ORDER BY name");
    QStringList items;
    while (list.step()) {
        const QString name = QString::fromStdString(list.getText(0));
        items.append(QStringLiteral("%1 %2").arg(name).arg(m_project.getSQLTable(name).rowCount()));
    }
    return items;
}

QStringList ProjectReport::changes() const
{
    QMap<QString, QMap<QString, int>> byTable;
    for (const auto& [table, records] : m_project.getChangedDelta().tables) {
        QMap<QString, int>& kinds = byTable[QString::fromStdWString(table)];
        for (const auto& record : records)
            ++kinds[changeKind(record.second)];
    }
    QStringList items;
    for (auto table = byTable.cbegin(); table != byTable.cend(); ++table) {
        int total = 0;
        QStringList parts;
        for (auto kind = table->cbegin(); kind != table->cend(); ++kind) {
            total += kind.value();
            parts.append(QStringLiteral("%1 %2").arg(kind.value()).arg(kind.key()));
        }
        items.append(QStringLiteral("%1 %2 (%3)")
                         .arg(table.key())
                         .arg(total)
                         .arg(parts.join(QStringLiteral(", "))));
    }
    return items;
}

QStringList ProjectReport::elementTypes() const
{
    // The dictionary holds the element types proper (node type 2); the
    // categories above them and the variants below are not looked up.
    const TesselTable table = m_project.getTesselTable(QStringLiteral("element_type"));
    QStringList names;
    int total = 0;
    for (int i = 0; !table.isNull() && i < table.recordCount(); ++i) {
        if (table[i].asInteger(QStringLiteral("node_type")) != 2)
            continue;
        const int id = table[i].asInteger(QStringLiteral("element_type_id"));
        if (++total <= kNamesShown)
            names.append(QStringLiteral("%1 %2").arg(id).arg(
                ElementType::instance()->getElementTypeNamebyId(id)));
    }
    return shortened(names, total);
}

QStringList ProjectReport::specialties() const
{
    const TesselTable table = m_project.getTesselTable(QStringLiteral("specialty"));
    QStringList names;
    const int total = table.isNull() ? 0 : table.recordCount();
    for (int i = 0; i < std::min(total, kNamesShown); ++i)
        names.append(ElementType::instance()->getSpecialNamebyId(table[i].id64()));
    return shortened(names, total);
}
