#include "KObjectID.h"

#include "KObjectIDLayout.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>

#ifndef _WIN32
#include <pthread.h>
#endif

namespace {

std::uint64_t nowTimeField()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return KObjectIDLayout::timeField(
        std::chrono::duration_cast<std::chrono::seconds>(now).count());
}

std::uint64_t currentProcessField()
{
    auto pid = static_cast<std::uint64_t>(QCoreApplication::applicationPid());
#ifdef _WIN32
    // Windows process ids are multiples of four.
    pid >>= 2;
#endif
    return KObjectIDLayout::processField(pid);
}

struct Generator
{
    std::atomic<std::uint64_t> next { 0 };
    std::atomic<std::uint64_t> process { 0 };

    void start() noexcept
    {
        const std::uint64_t field = currentProcessField();
        process.store(field, std::memory_order_relaxed);
        next.store(KObjectIDLayout::compose(nowTimeField(), field, 0), std::memory_order_relaxed);
    }
};

// Zero until the first identifier is asked for; constant-initialised, so it
// exists before any static constructor of another library could call NewID.
Generator processGenerator;

void resetInForkedChild()
{
    // A forked child has a new process id but a copy of the parent's
    // sequence; without a fresh start it would repeat the parent's ids.
    processGenerator.start();
}

Generator& generator()
{
    static const bool started = [] {
        processGenerator.start();
#ifndef _WIN32
        pthread_atfork(nullptr, nullptr, resetInForkedChild);
#endif
        return true;
    }();
    (void)started;
    return processGenerator;
}

} // namespace

std::uint64_t KObjectID::NewID()
{
    Generator& g = generator();
    std::uint64_t id = g.next.load(std::memory_order_relaxed);
    for (;;) {
        // The clock is read only when the counter runs out.
        const std::uint64_t following
            = (id & KObjectIDLayout::counterMask) != KObjectIDLayout::counterMask
            ? id + 1
            : KObjectIDLayout::successor(
                id, g.process.load(std::memory_order_relaxed), nowTimeField());
        if (g.next.compare_exchange_weak(id, following, std::memory_order_relaxed))
            return id;
    }
}
