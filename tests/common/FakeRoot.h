#pragma once

// Runs a check in a child process whose file-system root is an empty tmpfs of
// its own, for code that must refuse to clear or remove "/": were the refusal
// broken, the child could delete only what it put there itself.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>

#ifdef __linux__
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace FakeRoot {

// The result when this system gives no unprivileged user and mount
// namespaces; the check has not run then.
constexpr int kUnavailable = 77;

#ifdef __linux__
inline bool writeProcFile(const char* path, const std::string& text)
{
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    const bool written = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
    return fd >= 0 && close(fd) == 0 && written;
}

// mountPoint: an empty folder, which becomes the child's "/". The result is the
// check's exit code, kUnavailable, or -1 when the child did not exit normally.
// Only async-signal-safe calls precede the sandbox; the check runs alone in
// the child, so the caller should have no other threads at this point.
inline int run(const QString& mountPoint, const std::function<int()>& check)
{
    const std::string uidMap = std::to_string(getuid()) + ' ' + std::to_string(getuid()) + " 1";
    const std::string gidMap = std::to_string(getgid()) + ' ' + std::to_string(getgid()) + " 1";
    const QByteArray point = QFile::encodeName(mountPoint);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const bool sandboxed = unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0
            && writeProcFile("/proc/self/setgroups", "deny")
            && writeProcFile("/proc/self/uid_map", uidMap)
            && writeProcFile("/proc/self/gid_map", gidMap)
            && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
            && mount("fake-root", point.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=4m") == 0
            && chroot(point.constData()) == 0 && chdir("/") == 0;
        _exit(sandboxed ? check() : kUnavailable);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Inside run's check: binds a folder of the root's own file system, holding
// "canary.txt", to the new folder `at`, as `mount --bind` of another folder of
// the disk (or a shared drive bound into a workspace) would.
inline bool bindDrive(const char* at)
{
    const int canary = mkdir("/drive", 0755) == 0
        ? open("/drive/canary.txt", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)
        : -1;
    return canary >= 0 && close(canary) == 0 && mkdir(at, 0755) == 0
        && mount("/drive", at, nullptr, MS_BIND, nullptr) == 0;
}
#endif

} // namespace FakeRoot
