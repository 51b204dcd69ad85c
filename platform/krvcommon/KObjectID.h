#pragma once

#include <bimcore/platform/krvcommon/krvcommon_export.h>
#include <cstdint>

/// The platform's object identifier generator.
///
/// An identifier is, from the most significant bit: 30 bits of seconds since
/// 2024-01-01 UTC, 22 bits of the process id, 12 bits of a counter. The time
/// and process name one process on the machine, so identifiers of two
/// processes differ; when the counter runs out the time moves on by a second
/// (or to the clock, if that is later) and never back.
class KRVCOMMON_EXPORT KObjectID
{
public:
    /// A new non-zero identifier on every call: unique across threads and
    /// increasing within a process. Thread-safe.
    static std::uint64_t NewID();
};
