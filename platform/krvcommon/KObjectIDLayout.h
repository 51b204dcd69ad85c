#pragma once

#include <cstdint>

// The bit layout of KObjectID identifiers (documented in KObjectID.h), kept
// apart from the generator's state so that its rules can be tested with any
// clock and process id.
namespace KObjectIDLayout {

constexpr int counterBits = 12;
constexpr int processBits = 22;
constexpr int timeBits = 64 - processBits - counterBits;

constexpr std::uint64_t counterMask = (std::uint64_t { 1 } << counterBits) - 1;
constexpr std::uint64_t processMask = (std::uint64_t { 1 } << processBits) - 1;
constexpr std::uint64_t maxTimeField = (std::uint64_t { 1 } << timeBits) - 1;

// 2024-01-01 00:00:00 UTC in seconds since 1970.
constexpr std::int64_t epochSeconds = 1704067200;

// The time field for a wall clock reading. The lowest value is 1, which keeps
// every identifier non-zero even on a clock set before the epoch.
constexpr std::uint64_t timeField(std::int64_t unixSeconds)
{
    if (unixSeconds <= epochSeconds)
        return 1;
    const auto field = static_cast<std::uint64_t>(unixSeconds - epochSeconds);
    return field > maxTimeField ? maxTimeField : field;
}

constexpr std::uint64_t processField(std::uint64_t processId)
{
    return processId & processMask;
}

constexpr std::uint64_t compose(std::uint64_t time, std::uint64_t process, std::uint64_t counter)
{
    return (time << (processBits + counterBits)) | (process << counterBits) | counter;
}

constexpr std::uint64_t timeOf(std::uint64_t id)
{
    return id >> (processBits + counterBits);
}

constexpr std::uint64_t processOf(std::uint64_t id)
{
    return (id >> counterBits) & processMask;
}

// The identifier after id, for a process whose field is process and a clock
// that now reads nowTime (a time field). Always greater than id.
constexpr std::uint64_t successor(std::uint64_t id, std::uint64_t process, std::uint64_t nowTime)
{
    if ((id & counterMask) != counterMask)
        return id + 1;
    const std::uint64_t nextTime = timeOf(id) + 1;
    // Past the last second the layout can hold, keep counting into the process
    // bits: still unique and increasing within the process.
    if (nextTime > maxTimeField)
        return id + 1;
    return compose(nowTime > nextTime ? nowTime : nextTime, process, 0);
}

} // namespace KObjectIDLayout
