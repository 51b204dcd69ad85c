#include "JsonReader.h"

#include "JsonError.h"

namespace {
constexpr int maxDepth = 256;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
} // namespace

const char* JsonValue::typeName(Type type)
{
    switch (type) {
    case Null:
        return "null";
    case Boolean:
        return "a boolean";
    case Number:
        return "a number";
    case String:
        return "a string";
    case Array:
        return "an array";
    case Object:
        return "an object";
    }
    return "a value";
}

JsonReader::JsonReader(const QByteArray& text)
    : m_text(text)
{
}

JsonValue JsonReader::parse(const QByteArray& text)
{
    JsonReader reader(text);
    if (text.startsWith("\xEF\xBB\xBF"))
        reader.m_pos = reader.m_lineStart = 3;
    reader.skipBlanks();
    JsonValue value = reader.parseValue(0);
    reader.skipBlanks();
    if (reader.m_pos < text.size())
        reader.fail(QStringLiteral("unexpected text after the JSON value"));
    return value;
}

void JsonReader::fail(const QString& message) const
{
    // Columns count characters, not bytes: UTF-8 continuation bytes are skipped.
    int column = 1;
    for (int i = m_lineStart; i < m_pos && i < m_text.size(); ++i) {
        if ((static_cast<unsigned char>(m_text[i]) & 0xC0) != 0x80)
            ++column;
    }
    throw JsonError(message, m_line, column);
}

JsonValue JsonReader::located(JsonValue::Type type) const
{
    JsonValue value;
    value.type = type;
    value.line = m_line;
    int column = 1;
    for (int i = m_lineStart; i < m_pos; ++i) {
        if ((static_cast<unsigned char>(m_text[i]) & 0xC0) != 0x80)
            ++column;
    }
    value.column = column;
    return value;
}

char JsonReader::peek() const
{
    return m_pos < m_text.size() ? m_text[m_pos] : '\0';
}

char JsonReader::next()
{
    if (m_pos >= m_text.size())
        fail(QStringLiteral("unexpected end of the text"));
    return m_text[m_pos++];
}

void JsonReader::expect(char c)
{
    if (m_pos >= m_text.size())
        fail(QStringLiteral("unexpected end of the text, '%1' expected").arg(QLatin1Char(c)));
    if (m_text[m_pos] != c)
        fail(QStringLiteral("'%1' expected").arg(QLatin1Char(c)));
    ++m_pos;
}

void JsonReader::skipBlanks()
{
    while (m_pos < m_text.size()) {
        const char c = m_text[m_pos];
        if (c == '\n') {
            ++m_line;
            m_lineStart = m_pos + 1;
        } else if (c != ' ' && c != '\t' && c != '\r') {
            return;
        }
        ++m_pos;
    }
}

JsonValue JsonReader::parseValue(int depth)
{
    if (depth > maxDepth)
        fail(QStringLiteral("values nested too deeply"));
    switch (peek()) {
    case '{':
        return parseObject(depth);
    case '[':
        return parseArray(depth);
    case '"': {
        JsonValue value = located(JsonValue::String);
        value.text = parseString();
        return value;
    }
    case 't': {
        JsonValue value = located(JsonValue::Boolean);
        parseLiteral("true");
        value.boolean = true;
        return value;
    }
    case 'f': {
        JsonValue value = located(JsonValue::Boolean);
        parseLiteral("false");
        return value;
    }
    case 'n': {
        JsonValue value = located(JsonValue::Null);
        parseLiteral("null");
        return value;
    }
    case '\0':
        if (m_pos >= m_text.size())
            fail(QStringLiteral("unexpected end of the text, a value expected"));
        break;
    default:
        if (peek() == '-' || isDigit(peek()))
            return parseNumber();
        break;
    }
    fail(QStringLiteral("a value expected"));
}

JsonValue JsonReader::parseObject(int depth)
{
    JsonValue object = located(JsonValue::Object);
    expect('{');
    skipBlanks();
    if (peek() == '}') {
        ++m_pos;
        return object;
    }
    for (;;) {
        skipBlanks();
        if (peek() != '"')
            fail(QStringLiteral("a member name in double quotes expected"));
        QString name = parseString();
        skipBlanks();
        expect(':');
        skipBlanks();
        object.members.emplace_back(std::move(name), parseValue(depth + 1));
        skipBlanks();
        if (peek() == ',') {
            ++m_pos;
            continue;
        }
        if (peek() == '}') {
            ++m_pos;
            return object;
        }
        fail(m_pos >= m_text.size() ? QStringLiteral("unexpected end of the text, '}' expected")
                                    : QStringLiteral("',' or '}' expected"));
    }
}

JsonValue JsonReader::parseArray(int depth)
{
    JsonValue array = located(JsonValue::Array);
    expect('[');
    skipBlanks();
    if (peek() == ']') {
        ++m_pos;
        return array;
    }
    for (;;) {
        skipBlanks();
        array.items.push_back(parseValue(depth + 1));
        skipBlanks();
        if (peek() == ',') {
            ++m_pos;
            continue;
        }
        if (peek() == ']') {
            ++m_pos;
            return array;
        }
        fail(m_pos >= m_text.size() ? QStringLiteral("unexpected end of the text, ']' expected")
                                    : QStringLiteral("',' or ']' expected"));
    }
}

JsonValue JsonReader::parseNumber()
{
    JsonValue value = located(JsonValue::Number);
    const int start = m_pos;
    if (peek() == '-')
        ++m_pos;
    if (peek() == '0') {
        ++m_pos;
    } else if (isDigit(peek())) {
        while (isDigit(peek()))
            ++m_pos;
    } else {
        fail(QStringLiteral("a digit expected"));
    }
    if (peek() == '.') {
        ++m_pos;
        if (!isDigit(peek()))
            fail(QStringLiteral("a digit expected after the decimal point"));
        while (isDigit(peek()))
            ++m_pos;
    }
    if (peek() == 'e' || peek() == 'E') {
        ++m_pos;
        if (peek() == '+' || peek() == '-')
            ++m_pos;
        if (!isDigit(peek()))
            fail(QStringLiteral("a digit expected in the exponent"));
        while (isDigit(peek()))
            ++m_pos;
    }
    value.text = QString::fromLatin1(m_text.constData() + start, m_pos - start);
    return value;
}

unsigned JsonReader::parseHex4()
{
    unsigned code = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = next();
        code <<= 4;
        if (isDigit(c))
            code |= unsigned(c - '0');
        else if (c >= 'a' && c <= 'f')
            code |= unsigned(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            code |= unsigned(c - 'A' + 10);
        else {
            --m_pos;
            fail(QStringLiteral("four hexadecimal digits expected after \\u"));
        }
    }
    return code;
}

QString JsonReader::parseString()
{
    expect('"');
    QByteArray utf8;
    QString result;
    for (;;) {
        if (m_pos >= m_text.size())
            fail(QStringLiteral("unexpected end of the text inside a string"));
        const char c = m_text[m_pos];
        if (c == '"') {
            ++m_pos;
            break;
        }
        if (static_cast<unsigned char>(c) < 0x20)
            fail(QStringLiteral("control character inside a string"));
        if (c != '\\') {
            utf8.append(c);
            ++m_pos;
            continue;
        }
        ++m_pos;
        const char escape = next();
        switch (escape) {
        case '"':
        case '\\':
        case '/':
            utf8.append(escape);
            break;
        case 'b':
            utf8.append('\b');
            break;
        case 'f':
            utf8.append('\f');
            break;
        case 'n':
            utf8.append('\n');
            break;
        case 'r':
            utf8.append('\r');
            break;
        case 't':
            utf8.append('\t');
            break;
        case 'u': {
            unsigned code = parseHex4();
            if (code >= 0xD800 && code <= 0xDBFF && m_pos + 1 < m_text.size()
                && m_text[m_pos] == '\\' && m_text[m_pos + 1] == 'u') {
                m_pos += 2;
                const unsigned low = parseHex4();
                if (low < 0xDC00 || low > 0xDFFF)
                    fail(QStringLiteral("unpaired surrogate in a \\u escape"));
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            } else if (code >= 0xD800 && code <= 0xDFFF) {
                fail(QStringLiteral("unpaired surrogate in a \\u escape"));
            }
            const char32_t codePoint = code;
            utf8.append(QString::fromUcs4(&codePoint, 1).toUtf8());
            break;
        }
        default:
            --m_pos;
            fail(QStringLiteral("unknown escape '\\%1'").arg(QLatin1Char(escape)));
        }
    }
    result = QString::fromUtf8(utf8);
    return result;
}

void JsonReader::parseLiteral(const char* literal)
{
    for (const char* c = literal; *c; ++c) {
        if (peek() != *c)
            fail(QStringLiteral("unknown word, '%1' expected").arg(QLatin1String(literal)));
        ++m_pos;
    }
}
