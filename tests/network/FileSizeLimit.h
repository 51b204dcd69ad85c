#pragma once

#include <QScopeGuard>

#include <csignal>
#include <sys/resource.h>

// Makes every write past `bytes` fail (EFBIG) instead of killing the process,
// until the returned guard goes; no limit when `bytes` is 0.
inline auto limitFileSize(rlim_t bytes)
{
    rlimit previous {};
    getrlimit(RLIMIT_FSIZE, &previous);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = previous;
    limit.rlim_cur = bytes ? bytes : previous.rlim_cur;
    setrlimit(RLIMIT_FSIZE, &limit);
    return qScopeGuard([=] {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, handler);
    });
}
