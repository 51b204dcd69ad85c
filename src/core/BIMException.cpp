#include "BIMException.h"

#include <cstring>
#include <new>

namespace bimcore {

namespace {
const char kUnknownException[] = "Unknown exception";
}

BIMException::BIMException()
{
    setNarrow("");
}

BIMException::BIMException(std::string& message, int code)
    : BIMException(static_cast<const std::string&>(message), code)
{
}

BIMException::BIMException(std::wstring& message, int code)
    : BIMException(static_cast<const std::wstring&>(message), code)
{
}

BIMException::BIMException(QString& message, int code)
    : BIMException(static_cast<const QString&>(message), code)
{
}

BIMException::BIMException(char* message, int code)
    : BIMException(static_cast<const char*>(message), code)
{
}

BIMException::BIMException(wchar_t* message, int code)
    : BIMException(static_cast<const wchar_t*>(message), code)
{
}

BIMException::BIMException(const std::string& message, int code)
    : BIMException(message.c_str(), code) // c_str() stops at the first NUL for us
{
}

BIMException::BIMException(const std::wstring& message, int code)
    : m_nCode(code)
    , m_strMessage(QString::fromWCharArray(message.data(), static_cast<int>(message.size())))
{
    setNarrow(m_strMessage.toUtf8().constData());
}

BIMException::BIMException(const QString& message, int code)
    : m_nCode(code)
    , m_strMessage(message)
{
    setNarrow(m_strMessage.toUtf8().constData());
}

BIMException::BIMException(const char* message, int code)
    : m_nCode(code)
{
    if (!message)
        return;
    m_strMessage = QString::fromUtf8(message);
    setNarrow(message);
}

BIMException::BIMException(const wchar_t* message, int code)
    : m_nCode(code)
{
    if (!message)
        return;
    m_strMessage = QString::fromWCharArray(message);
    setNarrow(m_strMessage.toUtf8().constData());
}

BIMException::BIMException(const BIMException& other)
    : std::exception(other)
    , m_nCode(other.m_nCode)
    , m_strMessage(other.m_strMessage)
{
    if (other.m_narrow)
        setNarrow(other.m_narrow.get());
}

BIMException& BIMException::operator=(const BIMException& other)
{
    if (this != &other) {
        m_narrow.reset();
        if (other.m_narrow)
            setNarrow(other.m_narrow.get());
        m_nCode = other.m_nCode;
        m_strMessage = other.m_strMessage;
    }
    return *this;
}

BIMException::~BIMException()
{
    m_strMessage.clear();
    m_narrow.reset();
}

const char* BIMException::what() const noexcept
{
    return m_narrow ? m_narrow.get() : kUnknownException;
}

// When memory for the private copy cannot be had the exception simply holds
// no narrow text; building an exception must not itself fail.
void BIMException::setNarrow(const char* bytes) noexcept
{
    const std::size_t length = std::strlen(bytes);
    m_narrow.reset(new (std::nothrow) char[length + 1]);
    if (m_narrow)
        std::memcpy(m_narrow.get(), bytes, length + 1);
}

} // namespace bimcore
