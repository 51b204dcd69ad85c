#pragma once

#include "KSqlException.h"

#include <string>

struct sqlite3;

namespace KSQLite {

// The exception for a failed call on handle: context, ": ", SQLite's message.
KSqlException sqlError(sqlite3* handle, const std::string& context);
// The exception for a failure the wrapper itself detects.
KSqlException misuseError(const std::string& message);

} // namespace KSQLite
