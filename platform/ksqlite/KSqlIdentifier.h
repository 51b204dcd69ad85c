#pragma once

#include <ksqlite/ksqlite_export.h>

#include <string>

namespace KSQLite {

// The name as an SQL identifier: wrapped in double quotes, every double quote
// inside doubled. Any UTF-8 text (spaces, quotes, non-ASCII) becomes a valid
// identifier that names exactly that table or column.
KSQLITE_EXPORT std::string quoteIdentifier(const std::string& name);

} // namespace KSQLite
