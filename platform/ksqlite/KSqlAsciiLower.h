#pragma once

#include <string>

namespace KSQLite {

// SQLite folds only ASCII letters when it compares names; so does this.
inline std::string asciiLower(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

} // namespace KSQLite
