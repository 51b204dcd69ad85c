#pragma once

#include <krvcommon/KRVException.h>

#include <QString>

// Raises KRVException with the message given.
[[noreturn]] void raiseError(const QString& message);

// Raises when index is not in [0, count).
void checkIndex(int index, int count, const QString& what);

// Raises when a handle is null; names the kind of handle.
void checkHandle(const void* object, const char* handle);
