#include "Errors.h"

void raiseError(const QString& message)
{
    throw KRVException(message);
}

void checkIndex(int index, int count, const char* what, const QString& owner)
{
    if (index >= 0 && index < count)
        return;
    QString item = QString::fromUtf8(what);
    if (!owner.isNull())
        item = item.arg(owner);
    raiseError(
        QStringLiteral("%1 index %2 is out of range (count %3)").arg(item).arg(index).arg(count));
}

void checkHandle(const void* object, const char* handle)
{
    if (!object)
        raiseError(QStringLiteral("operation on a null %1 handle").arg(QLatin1String(handle)));
}
