#include "UucpLock.h"

#include "RegularFile.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<UucpLock> FindUucpLock(const std::string& lockDir, const std::string& deviceName) {
    if (deviceName.empty()) {
        return std::nullopt;
    }
    UucpLock lock;
    lock.path = lockDir + "/LCK.." + deviceName;
    const RegularFileOpen opened = OpenRegularFileNoWait(lock.path, O_RDONLY, false);
    if (opened.fd < 0) {
        // No file, or no lock folder to look in (a folder this user may not search marks no line).
        if (opened.refused == 0 && (opened.error == ENOENT || opened.error == ENOTDIR ||
                                    (opened.error == EACCES && ::access(lockDir.c_str(), X_OK) != 0))) {
            return std::nullopt;
        }
        lock.live = true;
        lock.unreadable = opened.refused != 0
                              ? std::string("it is ") + FileKindName(opened.refused) + ", not a regular file"
                              : std::strerror(opened.error);
        return lock;
    }
    const std::string bytes = ReadAtMost(opened.fd, kUucpLockMaxBytes);
    ::close(opened.fd);
    if (const std::optional<pid_t> pid = ParseUucpLockPid(bytes)) {
        lock.pid = *pid;
        // EPERM: the process runs under another user.
        lock.live = lock.pid != ::getpid() && (::kill(lock.pid, 0) == 0 || errno == EPERM);
    }
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
