#pragma once

#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

// Owns one open file or folder of the system and closes it when it goes: a
// file descriptor on POSIX, a HANDLE on Windows. The one guard of the
// project: the library, the stand-ins, the tests and the benchmarks all hold
// descriptors and handles through it.
class UniqueFd
{
public:
#ifdef _WIN32
    using Native = HANDLE;
    static Native invalid() noexcept { return INVALID_HANDLE_VALUE; }
#else
    using Native = int;
    static constexpr Native invalid() noexcept { return -1; }
#endif

    explicit UniqueFd(Native fd = invalid()) noexcept
        : m_fd(fd)
    {
    }
    UniqueFd(UniqueFd&& other) noexcept
        : m_fd(other.release())
    {
    }
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    Native get() const noexcept { return m_fd; }
    bool valid() const noexcept
    {
#ifdef _WIN32
        // Some calls fail with INVALID_HANDLE_VALUE, others with null.
        return m_fd != invalid() && m_fd != nullptr;
#else
        return m_fd >= 0;
#endif
    }
    explicit operator bool() const noexcept { return valid(); }

    // Gives the descriptor up without closing it.
    Native release() noexcept { return std::exchange(m_fd, invalid()); }

    // Closes what is held, if anything, and holds `fd` instead. A failed
    // close is not reported: the descriptor is gone either way.
    void reset(Native fd = invalid()) noexcept
    {
        if (valid()) {
#ifdef _WIN32
            ::CloseHandle(m_fd);
#else
            ::close(m_fd);
#endif
        }
        m_fd = fd;
    }

private:
    Native m_fd;
};
