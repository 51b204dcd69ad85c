#include "KSqlIdentifier.h"

namespace KSQLite {

std::string quoteIdentifier(const std::string& name)
{
    std::string quoted;
    quoted.reserve(name.size() + 2);
    quoted += '"';
    for (const char c : name) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

} // namespace KSQLite
