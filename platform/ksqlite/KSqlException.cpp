#include "KSqlException.h"

namespace KSQLite {

KSqlException::KSqlException(const std::string& message, int errorCode, int extendedErrorCode)
    : m_message(message)
    , m_errorCode(errorCode)
    , m_extendedErrorCode(extendedErrorCode < 0 ? errorCode : extendedErrorCode)
{
}

const char* KSqlException::what() const noexcept
{
    return m_message.c_str();
}

} // namespace KSQLite
