#pragma once

// Everything of the SQLite wrapper in one include.
#include <bimcore/platform/ksqlite/KSqlDatabase.h>
#include <bimcore/platform/ksqlite/KSqlException.h>
#include <bimcore/platform/ksqlite/KSqlStatement.h>
#include <bimcore/platform/ksqlite/KSqlTable.h>
