#pragma once

// A field of /proc/self/status given in KiB ("VmRSS", "VmHWM", ...), or -1
// when it cannot be read. Safe to call from any thread.
long procStatusKiB(const char* field);
