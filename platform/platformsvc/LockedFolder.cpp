#include "LockedFolder.h"

#include <QDir>

#include <stdexcept>

namespace PlatformSvcComm {

std::unique_ptr<KSQLite::KSqlDatabase> LockedFolder::excludeWriters(const QString& name) const
{
    if (!isPlainFile(name))
        return nullptr;
    auto database = std::make_unique<KSQLite::KSqlDatabase>();
    try {
        database->Open(pathOf(name).toStdString(), true);
        // A transaction of another process's that is under way holds SQLite's
        // lock: waiting a few seconds for its end is what SQLite itself would do.
        database->exec("BEGIN EXCLUSIVE");
    } catch (const KSQLite::KSqlException& e) {
        throw std::runtime_error(
            QStringLiteral("The local database \"%1\" is in use by another process: %2")
                .arg(QDir::toNativeSeparators(pathOf(name)), QString::fromUtf8(e.what()))
                .toStdString());
    }
    // Held open on Windows, the database could not be replaced: what is
    // checked there is that no process was writing, and one that holds it
    // open still makes the replace fail.
    if (!kReplacesOpenFiles)
        return nullptr;
    return database;
}

} // namespace PlatformSvcComm
