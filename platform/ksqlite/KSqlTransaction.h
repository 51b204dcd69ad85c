#pragma once

#include <ksqlite/ksqlite_export.h>

namespace KSQLite {

class KSqlDatabase;

// Begins a transaction on construction and rolls it back on destruction unless
// commit() was called, so an exception between the two leaves the database as
// it was. Not copyable; one guard per transaction (SQLite does not nest them).
class KSQLITE_EXPORT KSqlTransaction
{
public:
    // Raises KSqlException when the database is not open or a transaction is
    // already running on it.
    explicit KSqlTransaction(KSqlDatabase& database);
    // Rolls back an uncommitted transaction; never throws.
    ~KSqlTransaction();

    KSqlTransaction(const KSqlTransaction&) = delete;
    KSqlTransaction& operator=(const KSqlTransaction&) = delete;

    // Makes the changes permanent; raises KSqlException when the commit fails
    // (the transaction is then rolled back by the destructor) or when called
    // twice.
    void commit();

    // Rolls back now; raises when already committed or rolled back.
    void rollback();

private:
    KSqlDatabase& m_database;
    bool m_finished = false;
};

// The guard under its short name.
using Transaction = KSqlTransaction;

} // namespace KSQLite
