#pragma once

#include <bimcore/core/bimcore_export.h>

#include <QString>

#include <exception>
#include <memory>
#include <string>

// The one exception type the library raises towards its host. It carries a
// message and a code; what() gives the message as narrow text.
//
// Narrow input (char*, std::string) keeps its bytes, up to the first NUL, as
// the narrow text and is decoded as UTF-8 into the message; QString and wide
// input become the message first and the narrow text is its UTF-8 form.
class BIMCORE_EXPORT BIMException : public std::exception
{
public:
    BIMException();
    BIMException(std::string& message, int code);
    BIMException(std::wstring& message, int code);
    BIMException(QString& message, int code);
    BIMException(char* message, int code);
    BIMException(wchar_t* message, int code);

    // Const forms, so that a message can be built on the spot at a throw.
    BIMException(const std::string& message, int code);
    BIMException(const std::wstring& message, int code);
    BIMException(const QString& message, int code);
    BIMException(const char* message, int code);
    BIMException(const wchar_t* message, int code);

    BIMException(const BIMException& other);
    BIMException& operator=(const BIMException& other);
    ~BIMException() override;

    // The narrow text, or "Unknown exception" when none is held.
    const char* what() const noexcept override;

    int code() const { return m_nCode; }
    const QString& message() const { return m_strMessage; }

private:
    void setNarrow(const char* bytes) noexcept;

    std::unique_ptr<char[]> m_narrow; // owned copy of the narrow text, or none

public:
    int m_nCode{0};
    QString m_strMessage;
};
