#pragma once

#include <utility>

#ifndef _WIN32
#include <unistd.h>
#endif

// Owns one POSIX file descriptor and closes it when it goes; a negative value
// owns nothing. The one descriptor guard of the project: the library, the
// stand-ins, the tests and the benchmarks all hold descriptors through it.
class UniqueFd
{
public:
    explicit UniqueFd(int fd = -1) noexcept
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

    int get() const noexcept { return m_fd; }
    bool valid() const noexcept { return m_fd >= 0; }
    explicit operator bool() const noexcept { return valid(); }

    // Gives the descriptor up without closing it.
    int release() noexcept { return std::exchange(m_fd, -1); }

    // Closes the descriptor held, if any, and holds `fd` instead. A failed
    // close is not reported: the descriptor is gone either way.
    void reset(int fd = -1) noexcept
    {
#ifndef _WIN32
        if (m_fd >= 0)
            ::close(m_fd);
#endif
        m_fd = fd;
    }

private:
    int m_fd;
};
