// Who holds a port on Linux: a flock (/proc/locks), a UUCP lock file, an open descriptor (/proc/PID/fd),
// leaving out the program at the other end of a pseudo-terminal, which is the port's peer, not its user.
#include "PortHolders_linux.h"

#include "DisplayText.h"
#include "TextCatalogue.h"
#include "UucpLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace port_holders {

namespace {

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

} // namespace

bool IsNumber(const char* s) {
    if (*s == '\0') {
        return false;
    }
    for (; *s != '\0'; ++s) {
        if (*s < '0' || *s > '9') {
            return false;
        }
    }
    return true;
}

std::string ProgramName(const DoctorSystem& system, pid_t pid) {
    return ReadFirstLine(system.procRoot + "/" + std::to_string(pid) + "/comm");
}

namespace {

// The path the device's links lead to ("/dev/serial/by-id/usb-..." -> "/dev/ttyUSB0"), as /proc/PID/fd
// names an open device. Followed by hand: the folders on the way are real, and realpath fails under the
// umockdev preload the tests run in.
std::string RealPath(const std::string& path) {
    std::string result = path;
    char target[PATH_MAX];
    for (int hop = 0; hop < 16; ++hop) {
        const ssize_t n = ::readlink(result.c_str(), target, sizeof target - 1);
        if (n <= 0) {
            break;
        }
        const std::string next(target, static_cast<std::size_t>(n));
        const auto slash = result.find_last_of('/');
        result = next[0] == '/' || slash == std::string::npos
                     ? next
                     : std::filesystem::path(result.substr(0, slash + 1) + next).lexically_normal().string();
    }
    return result;
}

} // namespace

// The index N of the pseudo-terminal whose terminal end device is (/dev/pts/N, through any links),
// std::nullopt for any other device. UNIX98 terminal ends have the majors 136..143, 256 minors each.
std::optional<unsigned> PtyIndex(const std::string& device) {
    struct stat st;
    if (::stat(device.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) {
        return std::nullopt;
    }
    const unsigned maj = major(st.st_rdev);
    if (maj < 136 || maj > 143) {
        return std::nullopt;
    }
    return (maj - 136) * 256 + minor(st.st_rdev);
}

// True when the descriptor fd of pid, which leads to target, is the master of the pseudo-terminal index:
namespace {

// /dev/ptmx (or /dev/pts/ptmx) whose /proc/PID/fdinfo/FD says "tty-index: <index>".
bool IsMasterOf(const DoctorSystem& system, pid_t pid, const char* fd, std::string_view target,
                unsigned index) {
    if (target != "/dev/ptmx" && !(target.size() > 5 && target.substr(target.size() - 5) == "/ptmx")) {
        return false;
    }
    std::ifstream info(system.procRoot + "/" + std::to_string(pid) + "/fdinfo/" + fd);
    std::string key;
    while (info >> key) {
        if (key == "tty-index:") {
            unsigned n = 0;
            return static_cast<bool>(info >> n) && n == index;
        }
    }
    return false;
}

} // namespace

// The program at the other end of the pseudo-terminal index: the first process holding its master.
std::optional<PortHolder> PtyPeer(unsigned index, const DoctorSystem& system) {
    std::optional<PortHolder> peer;
    ForEachProcess(system.procRoot, [&](pid_t pid) {
        const std::string fdDir = system.procRoot + "/" + std::to_string(pid) + "/fd";
        DIR* d = ::opendir(fdDir.c_str());
        if (d == nullptr) {
            return false;
        }
        char target[PATH_MAX];
        while (const dirent* e = ::readdir(d)) {
            const ssize_t n = ::readlink((fdDir + "/" + e->d_name).c_str(), target, sizeof target - 1);
            if (n > 0 && IsMasterOf(system, pid, e->d_name,
                                    std::string_view(target, static_cast<std::size_t>(n)), index)) {
                peer = PortHolder{
                    pid, ProgramName(system, pid), KAVO_TR("PortDoctor", "pseudo-terminal master"), {}, {}};
                break;
            }
        }
        ::closedir(d);
        return peer.has_value();
    });
    return peer;
}

namespace {

bool FlockHolder(const std::string& device, const DoctorSystem& system, PortHolder& holder) {
    struct stat st;
    if (::stat(device.c_str(), &st) != 0) {
        return false;
    }
    std::ifstream locks(system.procRoot + "/locks");
    std::string line;
    while (std::getline(locks, line)) {
        // "1: FLOCK  ADVISORY  WRITE 4217 00:1a:1234 0 EOF"; blocked waiters carry "->" and hold nothing.
        if (line.find("->") != std::string::npos) {
            continue;
        }
        std::istringstream fields(line);
        std::string id, type, advisory, mode, file;
        long pid = 0;
        if (!(fields >> id >> type >> advisory >> mode >> pid >> file) || pid <= 0) {
            continue;
        }
        unsigned maj = 0, min = 0;
        unsigned long long ino = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%llu", &maj, &min, &ino) != 3) {
            continue;
        }
        if (maj == major(st.st_dev) && min == minor(st.st_dev) && ino == st.st_ino && pid != system.self) {
            holder =
                PortHolder{static_cast<pid_t>(pid),
                           ProgramName(system, static_cast<pid_t>(pid)),
                           type == "FLOCK" ? KAVO_TR("PortDoctor", "flock") : KAVO_TR("PortDoctor", "lock"),
                           {},
                           {}};
            return true;
        }
    }
    return false;
}

bool DescriptorHolder(const std::string& device, const DoctorSystem& system, PortHolder& holder) {
    const std::string real = RealPath(device);
    const std::optional<unsigned> pty = PtyIndex(device);
    bool found = false;
    ForEachProcess(system.procRoot, [&](pid_t pid) {
        if (pid == system.self) {
            return false;
        }
        const std::string fdDir = system.procRoot + "/" + std::to_string(pid) + "/fd";
        DIR* d = ::opendir(fdDir.c_str());
        if (d == nullptr) {
            return false; // another user's process: /proc does not show it
        }
        bool holdsDevice = false;
        bool holdsMaster = false; // of device, a pseudo-terminal: this process is its peer
        char target[PATH_MAX];
        while (const dirent* e = ::readdir(d)) {
            const std::string link = fdDir + "/" + e->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n <= 0) {
                continue;
            }
            const std::string_view to(target, static_cast<std::size_t>(n));
            holdsDevice = holdsDevice || to == real;
            holdsMaster = holdsMaster || (pty && IsMasterOf(system, pid, e->d_name, to, *pty));
            if (holdsDevice && !pty) {
                break;
            }
        }
        ::closedir(d);
        if (holdsDevice && !holdsMaster) {
            holder =
                PortHolder{pid, ProgramName(system, pid), KAVO_TR("PortDoctor", "open descriptor"), {}, {}};
            found = true;
        }
        return found;
    });
    return found;
}

} // namespace

} // namespace port_holders

using namespace port_holders;

std::optional<PortHolder> FindPortHolder(const std::string& devicePath, const std::string& lockDir,
                                         const DoctorSystem& system) {
    PortHolder holder;
    if (FlockHolder(devicePath, system, holder)) {
        return holder;
    }
    if (const std::optional<UucpLock> lock = FindUucpLockOf(lockDir, devicePath);
        lock && lock->live && (lock->pid == 0 || lock->pid != system.self)) {
        const std::string how = FillText(KAVO_TR("PortDoctor", "lock file %1"), {DisplayText(lock->path)});
        if (lock->pid == 0) {
            return PortHolder{0, {}, how, lock->path, lock->unreadable};
        }
        return PortHolder{lock->pid, ProgramName(system, lock->pid), how, {}, {}};
    }
    if (DescriptorHolder(devicePath, system, holder)) {
        return holder;
    }
    return std::nullopt;
}
