#pragma once

#include <krvcommon/krvcommon_export.h>

#include <cstdint>

// The platform's object identifier generator.
class KRVCOMMON_EXPORT KObjectID
{
public:
    // A new non-zero identifier on every call: unique across threads, increasing
    // within a process, and distinct from those of other processes on the same
    // machine or at another time.
    static std::uint64_t NewID();
};
