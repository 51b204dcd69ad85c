#pragma once

#include <bimcore/platform/krvcommon/krvcommon_export.h>

#include <cstdint>

// The platform's object identifier generator.
//
// Layout of an identifier, from the most significant bit:
//   bits 63..34  time field: seconds since 2024-01-01 00:00:00 UTC (30 bits,
//                enough until 2058), taken when the process makes its first
//                identifier;
//   bits 33..12  process field: the process id, low 22 bits (the largest
//                process id Linux hands out is 2^22);
//   bits 11..0   counter: 4096 identifiers per (time, process) pair.
// The (time, process) pair names one process on the machine, so identifiers of
// two processes differ, and a process that later receives the same id starts
// at a later time. When the counter runs out the time field moves on by one
// second, or to the current time if that is later; it never moves back, so
// identifiers keep increasing within a process even when the clock is set
// back. A process that averages more than 4096 identifiers a second runs its
// time field ahead of the clock; its identifiers stay unique unless the system
// reuses its process id for a new process before the clock catches up. A clock
// set back between two runs of the same process id can repeat identifiers of
// the earlier run; nothing short of stored state could prevent that.
class KRVCOMMON_EXPORT KObjectID
{
public:
    // A new non-zero identifier on every call: unique across threads, increasing
    // within a process, and distinct from those of other processes on the same
    // machine or at another time. Lock-free.
    static std::uint64_t NewID();
};
