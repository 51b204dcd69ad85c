#pragma once

#include <QString>

#include <utility>
#include <vector>

// A JSON value as the model's JSON form needs it: numbers keep their exact
// text (64-bit identifiers above 2^53 must not pass through a double), and
// every value remembers where it stood in the input for error messages.
struct JsonValue
{
    enum Type
    {
        Null,
        Boolean,
        Number,
        String,
        Array,
        Object
    };

    Type type = Null;
    bool boolean = false;
    QString text; // the number's literal or the string's content
    std::vector<JsonValue> items;
    std::vector<std::pair<QString, JsonValue>> members;
    int line = 0;
    int column = 0;

    // The member of that name, or nullptr.
    const JsonValue* member(const QString& name) const
    {
        for (const auto& entry : members) {
            if (entry.first == name)
                return &entry.second;
        }
        return nullptr;
    }
    static const char* typeName(Type type);
};
