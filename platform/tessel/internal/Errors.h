#pragma once

#include <krvcommon/KRVException.h>

#include <QString>

// Raises KRVException with the message given.
[[noreturn]] void raiseError(const QString& message);

// Raises when index is not in [0, count). what names the item; a %1 in it
// stands for owner. The message is made only on failure, as the check guards
// every cell access.
void checkIndex(int index, int count, const char* what, const QString& owner = QString());

// Raises when a handle is null; names the kind of handle.
void checkHandle(const void* object, const char* handle);
