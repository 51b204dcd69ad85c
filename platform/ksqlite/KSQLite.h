#pragma once

// Everything of the SQLite wrapper in one include.
#include <ksqlite/KSqlColumnType.h>
#include <ksqlite/KSqlDatabase.h>
#include <ksqlite/KSqlException.h>
#include <ksqlite/KSqlIdentifier.h>
#include <ksqlite/KSqlStatement.h>
#include <ksqlite/KSqlTable.h>
#include <ksqlite/KSqlTableCursor.h>
#include <ksqlite/KSqlTransaction.h>
