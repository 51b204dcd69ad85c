#pragma once

#include <QString>

#include <stdexcept>

// A fault in a JSON text, located by line and column (both from 1).
class JsonError : public std::runtime_error
{
public:
    JsonError(const QString& message, int line, int column)
        : std::runtime_error(QStringLiteral("line %1, column %2: %3")
                                 .arg(line)
                                 .arg(column)
                                 .arg(message)
                                 .toStdString())
        , m_line(line)
        , m_column(column)
    {
    }

    int line() const { return m_line; }
    int column() const { return m_column; }
    QString message() const { return QString::fromStdString(what()); }

private:
    int m_line;
    int m_column;
};
