#pragma once

/** @file
 * @brief BIMException: the library's exception type. */

#include <bimcore/core/bimcore_export.h>

#include <QString>

#include <exception>
#include <memory>
#include <string>

namespace bimcore {

/**
 * @brief The one exception type the library raises towards its host: a
 * message (QString), a code (always 0 from the library) and what() as
 * narrow text.
 *
 * Opening a project and the REST requests throw it by value; a failed open
 * carries "打开项目失败！". Catch it by const reference. Narrow input
 * (char*, std::string) keeps its bytes, up to the first NUL, as the narrow
 * text and is decoded as UTF-8 into the message; QString and wide input
 * become the message first and the narrow text is its UTF-8 form.
 *
 * Thread: any; an object is used by one thread at a time.
 */
class BIMCORE_EXPORT BIMException : public std::exception
{
public:
    /** @brief No message, code 0; what() gives "Unknown exception". */
    BIMException();
    /** @brief Narrow message (UTF-8) and code. @param message the text @param code the code */
    BIMException(std::string& message, int code);
    /** @brief Wide message and code. @param message the text @param code the code */
    BIMException(std::wstring& message, int code);
    /** @brief Message and code. @param message the text @param code the code */
    BIMException(QString& message, int code);
    /** @brief NUL-terminated narrow message (UTF-8; null for none) and code.
     *  @param message the text @param code the code */
    BIMException(char* message, int code);
    /** @brief NUL-terminated wide message (null for none) and code.
     *  @param message the text @param code the code */
    BIMException(wchar_t* message, int code);

    /** @brief As the non-const form, for a message built on the spot at a throw.
     *  @param message the text @param code the code */
    BIMException(const std::string& message, int code);
    /** @brief As the non-const form. @param message the text @param code the code */
    BIMException(const std::wstring& message, int code);
    /** @brief As the non-const form. @param message the text @param code the code */
    BIMException(const QString& message, int code);
    /** @brief As the non-const form. @param message the text @param code the code */
    BIMException(const char* message, int code);
    /** @brief As the non-const form. @param message the text @param code the code */
    BIMException(const wchar_t* message, int code);

    /** @brief A copy with its own narrow text. @param other the exception copied */
    BIMException(const BIMException& other);
    /** @brief Takes the other's message, code and narrow text.
     *  @param other the exception copied @return this exception */
    BIMException& operator=(const BIMException& other);
    /** @brief Releases the narrow text. */
    ~BIMException() override;

    /**
     * @brief The message as narrow (UTF-8) text.
     * @return the narrow text, or "Unknown exception" when none is held;
     *         valid as long as the exception lives unchanged.
     */
    const char* what() const noexcept override;

    /** @brief The code given at construction. @return always 0 from the library. */
    int code() const { return m_nCode; }
    /** @brief The message. @return "打开项目失败！", "网络超时！" or a service's own text. */
    const QString& message() const { return m_strMessage; }

private:
    void setNarrow(const char* bytes) noexcept;

    std::unique_ptr<char[]> m_narrow; // owned copy of the narrow text, or none

public:
    /** @brief The code; what code() returns. */
    int m_nCode{0};
    /** @brief The message; what message() returns. */
    QString m_strMessage;
};

} // namespace bimcore

#ifndef BIMCORE_NO_GLOBAL_NAMES
using bimcore::BIMException;
#endif
