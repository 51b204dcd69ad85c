#pragma once

// Everything of the SQLite wrapper in one include.
#include <bimcore/platform/ksqlite/KSqlTable.h>
