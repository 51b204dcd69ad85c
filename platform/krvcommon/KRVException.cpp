#include "KRVException.h"

KRVException::KRVException(const QString& message)
    : m_message(message)
    , m_utf8(message.toStdString())
{
}

const char* KRVException::what() const noexcept
{
    return m_utf8.c_str();
}
