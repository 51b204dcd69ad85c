#include "KSqlTransaction.h"

#include "KSqlDatabase.h"
#include "KSqlError.h"

namespace KSQLite {

KSqlTransaction::KSqlTransaction(KSqlDatabase& database)
    : m_database(database)
{
    m_database.exec("BEGIN");
}

KSqlTransaction::~KSqlTransaction()
{
    if (m_finished)
        return;
    try {
        m_database.exec("ROLLBACK");
    } catch (const KSqlException&) {
        // SQLite may already have rolled back on its own (or the database was
        // closed, which rolls back too); either way nothing is left to undo.
    }
}

void KSqlTransaction::commit()
{
    if (m_finished)
        throw misuseError("cannot commit: the transaction has already ended");
    m_database.exec("COMMIT");
    m_finished = true;
}

void KSqlTransaction::rollback()
{
    if (m_finished)
        throw misuseError("cannot roll back: the transaction has already ended");
    m_finished = true;
    m_database.exec("ROLLBACK");
}

} // namespace KSQLite
