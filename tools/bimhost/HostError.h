#pragma once

#include <QString>

#include <stdexcept>

// A fault of the host itself (a wrong command line, a folder that cannot be
// made, a download that wrote nothing), reported to the user as one line.
class HostError : public std::runtime_error
{
public:
    enum ExitCode
    {
        Failed = 1,
        Misused = 2,
    };

    explicit HostError(const QString& message, ExitCode code = Failed)
        : std::runtime_error(message.toStdString())
        , m_message(message)
        , m_code(code)
    {
    }

    const QString& message() const noexcept { return m_message; }
    int exitCode() const noexcept { return m_code; }

private:
    QString m_message;
    ExitCode m_code;
};
