#include "KObjectID.h"

#include <atomic>

// Placeholder counter; the real layout (time, process and counter bits) is
// being built in the identifier generator work.
std::uint64_t KObjectID::NewID()
{
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}
