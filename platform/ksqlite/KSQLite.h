#pragma once

// Everything of the SQLite wrapper in one include.
#include <ksqlite/KSqlDatabase.h>
#include <ksqlite/KSqlException.h>
#include <ksqlite/KSqlStatement.h>
#include <ksqlite/KSqlTable.h>
