// The port name table on Linux: the settings folder under XDG_CONFIG_HOME, the port folder's links, the
// built-in blocks of tty nodes in /dev (ttyS only where sysfs reports a UART) and the UUCP lock files in
// /var/lock.
#include "PortNameTable.h"

#include "RegularFile.h"
#include "SettingsLocation.h"
#include "UucpLock.h"

#include <bitset>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The port folder in the program's settings folder.
std::string UserSubDir() {
    return std::string("/") + kSettingsOrganisation + "/" + kSettingsApplication + "/ports";
}

// Built-in blocks: COM(first)..COM(first + 31) -> <prefix>0..31.
struct BuiltInBlock {
    unsigned first;
    const char* prefix;
    bool needsUart; // ttyS nodes exist for every possible UART; sysfs says which are real
};
constexpr BuiltInBlock kBuiltIn[] = {{1, "ttyS", true}, {33, "ttyUSB", false}, {65, "ttyACM", false}};
constexpr unsigned kBlockSize = 32;

// A serial port is a character device; a name that leads to anything else (a regular file left by a
// write to /dev/ttyUSB0 while nothing was plugged, a folder, a FIFO) or to nothing is no port.
bool IsCharDevice(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// sysfs "type" of a ttyS line: the UART type number, 0 when no UART answers at that address.
bool HasUart(const std::string& typePath) {
    const int fd = ::open(typePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char text[16] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) {
        return false;
    }
    return std::atoi(text) != 0;
}

} // namespace

std::string PortNameTable::DefaultUserDir() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // A relative XDG_CONFIG_HOME is invalid and is ignored.
    if (config != nullptr && config[0] == '/') {
        return std::string(config) + UserSubDir();
    }
    std::string home;
    if (const char* h = std::getenv("HOME"); h != nullptr && *h != '\0') {
        home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        home = pw->pw_dir;
    }
    return home + "/.config" + UserSubDir();
}

std::optional<std::string> PortNameTable::devicePath(std::string_view portName) const {
    const std::optional<unsigned> number = PortNumber(portName);
    if (!number) {
        return std::nullopt;
    }
    if (!m_userDir.empty()) {
        const std::string entry = m_userDir + "/" + std::string(portName);
        struct stat st;
        if (::lstat(entry.c_str(), &st) == 0) {
            // The user's entry wins, present or not.
            if (!IsCharDevice(entry)) {
                return std::nullopt;
            }
            if (!S_ISLNK(st.st_mode)) {
                return entry;
            }
            char target[PATH_MAX];
            const ssize_t n = ::readlink(entry.c_str(), target, sizeof target - 1);
            if (n <= 0) {
                return entry;
            }
            target[n] = '\0';
            if (isAbandonedEntry(portName, target)) {
                return std::nullopt;
            }
            if (target[0] == '/') {
                return std::string(target);
            }
            return m_userDir + "/" + target;
        }
    }
    return builtInPath(*number);
}

bool PortNameTable::isAbandonedEntry(std::string_view portName, std::string_view target) const {
    // Never waited on: a FIFO or anything else in the lock file's place is no controller's lock.
    const int fd = OpenRegularFileNoWait(entryLockPath(portName), O_RDONLY, false).fd;
    if (fd < 0) {
        return false; // no lock file: an entry of the user's own
    }
    char named[PATH_MAX];
    const ssize_t n = ::pread(fd, named, sizeof named, 0);
    std::string_view device(named, n > 0 ? static_cast<std::size_t>(n) : 0);
    if (!device.empty() && device.back() == '\n') {
        device.remove_suffix(1);
    }
    bool abandoned = false;
    if (n >= 0 && device.empty()) {
        abandoned = true; // the entry is being made, or its maker died while making it
    } else if (device == target) {
        // A shared lock is had only while no controller holds the file; it goes with the descriptor.
        abandoned = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
    }
    ::close(fd);
    return abandoned;
}

bool PortNameTable::heldByLockFile(const std::string& devicePath) const {
    const std::optional<UucpLock> lock = FindUucpLockOf(m_lockDir, devicePath);
    return lock && lock->live;
}

std::optional<std::string> PortNameTable::builtInPath(unsigned number) const {
    for (const BuiltInBlock& block : kBuiltIn) {
        if (number < block.first || number >= block.first + kBlockSize) {
            continue;
        }
        const std::string node = std::string(block.prefix) + std::to_string(number - block.first);
        if (block.needsUart && !HasUart(m_sysfsRoot + "/class/tty/" + node + "/type")) {
            return std::nullopt;
        }
        std::string path = m_devRoot + "/" + node;
        if (!IsCharDevice(path)) {
            return std::nullopt;
        }
        return path;
    }
    return std::nullopt;
}

namespace {

// Marks in candidates the numbers a folder's entries can give: COMn entries of the port folder, or the
// built-in device nodes (ttyS3 -> COM4) of the device folder.
void MarkCandidates(const std::string& dir, bool portFolder, std::bitset<kLastPortNumber + 1>& candidates) {
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) {
        return;
    }
    while (const dirent* e = ::readdir(d)) {
        const std::string_view name(e->d_name);
        if (portFolder) {
            if (const std::optional<unsigned> n = PortNameTable::PortNumber(name);
                n && *n <= kLastPortNumber) {
                candidates.set(*n);
            }
            continue;
        }
        for (const BuiltInBlock& block : kBuiltIn) {
            const std::string_view prefix(block.prefix);
            if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) {
                continue;
            }
            const std::string_view digits = name.substr(prefix.size());
            unsigned index = 0;
            const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
            if (ec == std::errc() && end == digits.data() + digits.size() && index < kBlockSize &&
                (digits.size() == 1 || digits[0] != '0')) {
                candidates.set(block.first + index);
            }
        }
    }
    ::closedir(d);
}

} // namespace

std::vector<std::pair<std::string, std::string>> EnumeratePortDevices(const PortNameTable& table) {
    std::bitset<kLastPortNumber + 1> candidates;
    if (!table.userDir().empty()) {
        MarkCandidates(table.userDir(), true, candidates);
    }
    MarkCandidates(table.devRoot(), false, candidates);
    std::vector<std::pair<std::string, std::string>> present;
    for (unsigned i = 0; i <= kLastPortNumber; ++i) {
        if (!candidates.test(i)) {
            continue;
        }
        std::string name = "COM" + std::to_string(i);
        if (std::optional<std::string> path = table.devicePath(name)) {
            present.emplace_back(std::move(name), std::move(*path));
        }
    }
    return present;
}
