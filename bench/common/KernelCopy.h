#pragma once

#include <QString>

// What cp does with a regular file on Linux: the kernel copies the bytes.
// Replaces `to`; false when the copy failed.
bool kernelCopy(const QString& from, const QString& to);

// The same, flushed with its folder, so that no write-back of it runs while a
// round is timed. Ends the process when it fails.
void copyFlushed(const QString& from, const QString& to);
