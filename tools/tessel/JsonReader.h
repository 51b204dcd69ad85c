#pragma once

#include "JsonValue.h"

#include <QByteArray>

// Parses JSON text (UTF-8, RFC 8259). Faults raise JsonError with the line
// and column where the text stops being valid.
class JsonReader
{
public:
    static JsonValue parse(const QByteArray& text);

private:
    explicit JsonReader(const QByteArray& text);

    JsonValue parseValue(int depth);
    JsonValue parseObject(int depth);
    JsonValue parseArray(int depth);
    JsonValue parseNumber();
    QString parseString();
    void parseLiteral(const char* literal);
    unsigned parseHex4();
    void skipBlanks();
    char peek() const;
    char next();
    void expect(char c);
    [[noreturn]] void fail(const QString& message) const;
    JsonValue located(JsonValue::Type type) const;

    const QByteArray& m_text;
    int m_pos = 0;
    int m_line = 1;
    int m_lineStart = 0;
};
