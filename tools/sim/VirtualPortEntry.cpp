#include "VirtualPortEntry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>
#include <thread>

namespace {

// The target of the link at path; std::nullopt when there is no link (errno tells why).
std::optional<std::string> LinkTarget(const std::string& path) {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    if (n < 0) {
        return std::nullopt;
    }
    return std::string(buf, static_cast<std::size_t>(n));
}

// What the lock file names, without the line end.
std::string NamedDevice(int fd) {
    char buf[PATH_MAX];
    const ssize_t n = ::pread(fd, buf, sizeof buf, 0);
    std::string device(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
    if (!device.empty() && device.back() == '\n') {
        device.pop_back();
    }
    return device;
}

// Locks fd for this controller alone. A port-list probe holds the file shared for an instant, so a refusal
// is tried again for a little while before it means that a running controller holds the name.
bool LockAlone(int fd) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        if (errno != EWOULDBLOCK) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

} // namespace

VirtualPortEntry::VirtualPortEntry(const PortNameTable& table, std::string device)
    : m_table(table), m_device(std::move(device)) {}

VirtualPortEntry::~VirtualPortEntry() {
    Release();
}

VirtualPortEntry::Claim VirtualPortEntry::Take(const std::string& name, std::string* error) {
    const std::string lockPath = m_table.entryLockPath(name);
    const std::string link = m_table.userDir() + "/" + name;
    // A few rounds: the lock file may be removed by the controller that held it between our open and lock.
    for (int round = 0; round < 5; ++round) {
        bool created = false;
        int fd = ::open(lockPath.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0 && errno == ENOENT) {
            fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
            created = fd >= 0;
            if (fd < 0 && errno == EEXIST) {
                continue;
            }
        }
        if (fd < 0) {
            *error = "cannot create " + lockPath + ": " + std::strerror(errno);
            return Claim::Failed;
        }
        if (!LockAlone(fd)) {
            const int e = errno;
            ::close(fd);
            if (e == EWOULDBLOCK) {
                return Claim::Busy;
            }
            *error = "cannot lock " + lockPath + ": " + std::strerror(e);
            return Claim::Failed;
        }
        struct stat held {
        }, now{};
        if (::fstat(fd, &held) != 0 || ::stat(lockPath.c_str(), &now) != 0 || held.st_ino != now.st_ino ||
            held.st_dev != now.st_dev) {
            ::close(fd); // removed meanwhile: not the name's lock any more
            continue;
        }

        // The name's lock is ours: nobody else decides about the link until it is released.
        const std::string named = created ? std::string() : NamedDevice(fd);
        const std::optional<std::string> target = LinkTarget(link);
        bool take = false;
        struct stat st {};
        if (::lstat(link.c_str(), &st) != 0) {
            take = errno == ENOENT;
        } else if (!created && target && (named.empty() || named == *target)) {
            take = true; // the entry of a controller that is gone
        } else if (target && target->rfind("/dev/pts/", 0) == 0 && ::stat(link.c_str(), &st) != 0) {
            take = true; // a dangling link to a terminal, from a controller that kept no lock file
        }
        if (!take) {
            ::unlink(lockPath.c_str()); // guards nothing: the name is the user's
            ::close(fd);
            return Claim::Busy;
        }
        // Nothing named while the link changes: a controller killed now leaves an entry that is void.
        if (::ftruncate(fd, 0) != 0) {
            *error = "cannot write " + lockPath + ": " + std::strerror(errno);
            ::unlink(lockPath.c_str());
            ::close(fd);
            return Claim::Failed;
        }
        // A new link renamed over the old one: the name never leads nowhere while it changes hands.
        const std::string fresh = link + ".new";
        ::unlink(fresh.c_str());
        if (::symlink(m_device.c_str(), fresh.c_str()) != 0 || ::rename(fresh.c_str(), link.c_str()) != 0) {
            const int e = errno;
            ::unlink(fresh.c_str());
            *error = "cannot enter " + link + ": " + std::strerror(e);
            ::unlink(lockPath.c_str());
            ::close(fd);
            return Claim::Failed;
        }
        const std::string content = m_device + "\n";
        if (::pwrite(fd, content.data(), content.size(), 0) != static_cast<ssize_t>(content.size())) {
            const int e = errno;
            *error = "cannot write " + lockPath + ": " + std::strerror(e);
            ::unlink(link.c_str());
            ::unlink(lockPath.c_str());
            ::close(fd);
            return Claim::Failed;
        }
        m_name = name;
        m_lockFd = fd;
        return Claim::Taken;
    }
    return Claim::Busy;
}

VirtualPortEntry::Claim VirtualPortEntry::TakeLowestFree(std::string* name, std::string* error) {
    Claim claim = Claim::Busy;
    for (unsigned n = 1; n <= kLastPortNumber && claim == Claim::Busy; ++n) {
        *name = "COM" + std::to_string(n);
        if (!m_table.devicePath(*name)) {
            claim = Take(*name, error);
        }
    }
    return claim;
}

std::string VirtualPortEntry::Release() {
    if (m_lockFd < 0) {
        return {};
    }
    const std::string link = m_table.userDir() + "/" + m_name;
    std::string said;
    if (const std::optional<std::string> now = LinkTarget(link); !now) {
        const int e = errno;
        if (e == ENOENT) {
            said = m_name + " was already gone from the port folder";
        } else {
            said =
                m_name + " left in place: " +
                (e == EINVAL ? std::string("it is no longer a link to this controller") : std::strerror(e));
        }
    } else if (*now != m_device) {
        said = m_name + " left in place: it now names " + *now + ", not this controller";
    } else if (::unlink(link.c_str()) != 0) {
        said = "cannot remove " + m_name + ": " + std::strerror(errno);
    } else {
        said = m_name + " removed";
    }
    // Removed while still held: a controller that opened it meanwhile finds, once it has the lock, that the
    // file is gone, and starts again.
    ::unlink(m_table.entryLockPath(m_name).c_str());
    ::close(m_lockFd);
    m_lockFd = -1;
    return said;
}
