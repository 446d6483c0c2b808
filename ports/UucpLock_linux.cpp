#include "UucpLock.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

std::optional<UucpLock> FindUucpLock(const std::string& lockDir, const std::string& deviceName) {
    if (deviceName.empty()) {
        return std::nullopt;
    }
    UucpLock lock;
    lock.path = lockDir + "/LCK.." + deviceName;
    const int fd = ::open(lock.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return std::nullopt;
    }
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) {
        return std::nullopt;
    }
    const bool ascii = std::strspn(text, " 0123456789\n") == static_cast<std::size_t>(n);
    if (!ascii && n == static_cast<ssize_t>(sizeof(int))) {
        int binary = 0;
        std::memcpy(&binary, text, sizeof binary); // the old binary form: exactly one int
        lock.pid = binary;
    } else {
        lock.pid = static_cast<pid_t>(std::strtol(text, nullptr, 10));
    }
    if (lock.pid <= 0) {
        return std::nullopt;
    }
    // EPERM: the process runs under another user.
    lock.live = lock.pid != ::getpid() && (::kill(lock.pid, 0) == 0 || errno == EPERM);
    return lock;
}

std::optional<UucpLock> FindUucpLockOf(const std::string& lockDir, const std::string& devicePath) {
    std::optional<UucpLock> found;
    std::string path = devicePath;
    for (int hop = 0; hop < 8 && !path.empty(); ++hop) {
        const auto slash = path.find_last_of('/');
        if (std::optional<UucpLock> lock =
                FindUucpLock(lockDir, path.substr(slash == std::string::npos ? 0 : slash + 1))) {
            if (lock->live) {
                return lock;
            }
            found = found ? found : lock;
        }
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
        if (n <= 0) {
            break;
        }
        const std::string next(target, static_cast<std::size_t>(n));
        path = next[0] == '/' || slash == std::string::npos ? next : path.substr(0, slash + 1) + next;
    }
    return found;
}
