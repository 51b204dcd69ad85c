#pragma once

#include <bimcore/platform/krvcommon/krvcommon_export.h>
#include <QString>
#include <exception>
#include <string>

/// The exception type of the platform's common and data-model libraries.
/// The message is kept as a QString; what() gives its UTF-8 form.
class KRVCOMMON_EXPORT KRVException : public std::exception
{
public:
    explicit KRVException(const QString& message);

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override;

private:
    QString m_message;
    std::string m_utf8;
};
