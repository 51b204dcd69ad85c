#include "WarmMemory.h"

#include <cstring>
#include <sys/mman.h>

void warmFreeMemory(qint64 bytes)
{
    const size_t size = size_t(bytes);
    void* memory
        = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        qFatal("cannot map %lld bytes to warm", static_cast<long long>(bytes));
    std::memset(memory, 1, size);
    ::munmap(memory, size);
}
