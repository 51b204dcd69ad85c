#include "KObjectID.h"
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <mutex>

namespace {
constexpr int counterBits = 12;
constexpr int processBits = 22;
constexpr std::uint64_t counterMask = (1u << counterBits) - 1;
constexpr std::int64_t epochSeconds = 1704067200; // 2024-01-01 00:00:00 UTC

std::uint64_t secondsOf(std::uint64_t id)
{
    return id >> (processBits + counterBits);
}

// The first identifier of this process in that second.
std::uint64_t firstOfSecond(std::uint64_t seconds)
{
    const auto process = std::uint64_t(QCoreApplication::applicationPid()) % (1u << processBits);
    return (seconds << (processBits + counterBits)) | (process << counterBits);
}

std::uint64_t clockSeconds()
{
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    // At least 1, so that no identifier is 0 even on a clock before 2024.
    return std::uint64_t(std::max<std::int64_t>(now.count() - epochSeconds, 1));
}
} // namespace

std::uint64_t KObjectID::NewID()
{
    static std::mutex mutex;
    static std::uint64_t last = 0;
    const std::lock_guard<std::mutex> lock(mutex);
    // A process forked after its parent made identifiers starts afresh: the
    // process bits of the last one are not its own.
    if (last == 0 || (last & ~counterMask) != firstOfSecond(secondsOf(last)))
        last = firstOfSecond(clockSeconds());
    else if ((last & counterMask) != counterMask)
        ++last;
    else
        last = firstOfSecond(std::max(secondsOf(last) + 1, clockSeconds()));
    return last;
}
