#include "Errors.h"

void raiseError(const QString& message)
{
    throw KRVException(message);
}

void checkIndex(int index, int count, const QString& what)
{
    if (index < 0 || index >= count)
        raiseError(QStringLiteral("%1 index %2 is out of range (count %3)")
                       .arg(what)
                       .arg(index)
                       .arg(count));
}

void checkHandle(const void* object, const char* handle)
{
    if (!object)
        raiseError(QStringLiteral("operation on a null %1 handle").arg(QLatin1String(handle)));
}
