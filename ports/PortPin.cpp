#include "PortPin.h"

#include "DisplayText.h"
#include "RegularFile.h"
#include "ReplaceLink.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

bool CheckName(const PortNameTable& table, const std::string& name, std::string& error) {
    const std::optional<unsigned> n = PortNameTable::PortNumber(name);
    if (!n || *n > kLastPortNumber) {
        error =
            "'" + DisplayText(name) + "' is no port name (COM0..COM" + std::to_string(kLastPortNumber) + ")";
        return false;
    }
    if (table.userDir().empty()) {
        error = "there is no port folder";
        return false;
    }
    return true;
}

std::string Describe(int e) {
    return std::generic_category().message(e);
}

} // namespace

std::string PinnedTarget(const PortNameTable& table, const std::string& name) {
    char target[PATH_MAX];
    const std::string entry = table.userDir() + "/" + name;
    const ssize_t n = ::readlink(entry.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

bool PinPortName(const PortNameTable& table, const std::string& name, const std::string& target,
                 std::string& error) {
    if (!CheckName(table, name, error)) {
        return false;
    }
    if (target.empty()) {
        error = "no device to keep the name for";
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(table.userDir(), ec);
    if (ec) {
        error = "cannot make the port folder " + DisplayText(table.userDir()) + ": " + ec.message();
        return false;
    }
    const std::string entry = table.userDir() + "/" + name;
    struct stat st;
    if (::lstat(entry.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = DisplayText(entry) + " is not a link; it is left as it is";
        return false;
    }
    // A virtual controller's entry (its lock lies beside it) belongs to that program while it runs.
    struct stat lockSt;
    const std::string lock = table.entryLockPath(name);
    if (::lstat(entry.c_str(), &st) == 0 && ::lstat(lock.c_str(), &lockSt) == 0 &&
        !IsPinTarget(table, PinnedTarget(table, name))) {
        error = name + " is a virtual controller's entry (kavo-cli simulate), with its lock file " +
                DisplayText(lock) + "; it is left as it is (choose another name, or end the simulator first)";
        return false;
    }
    if (const int e = ReplaceLink(entry, target); e != 0) {
        error = "cannot write " + DisplayText(entry) + ": " + Describe(e);
        return false;
    }
    return true;
}

bool IsPinTarget(const PortNameTable& table, const std::string& target) {
    const std::string folder = table.devRoot() + "/serial/by-id/";
    if (target.size() <= folder.size() || target.compare(0, folder.size(), folder) != 0) {
        return false;
    }
    const std::string leaf = target.substr(folder.size());
    return leaf.find('/') == std::string::npos && leaf != "." && leaf != "..";
}

std::optional<std::string> PinDevicePath(const PortNameTable& table, const std::string& given,
                                         std::string& error) {
    if (PortNameTable::PortNumber(given)) {
        std::optional<std::string> device = table.devicePath(given);
        if (!device) {
            error = given + " is not present";
        }
        return device;
    }
    const auto hasDots = [](const std::string& path) {
        std::string::size_type start = 0;
        while (start <= path.size()) {
            const auto end = std::min(path.find('/', start), path.size());
            const std::string part = path.substr(start, end - start);
            if (part == "." || part == "..") {
                return true;
            }
            start = end + 1;
        }
        return false;
    };
    const std::string devFolder = table.devRoot() + "/";
    if (!given.empty() && given[0] == '/') {
        if (given.size() > devFolder.size() && given.compare(0, devFolder.size(), devFolder) == 0 &&
            !hasDots(given)) {
            return given;
        }
    } else if (!given.empty() && given.find('/') == std::string::npos && !hasDots(given)) {
        return devFolder + given;
    }
    error = "'" + DisplayText(given) + "' is no device to pin: give its path in " + table.devRoot() + " (" +
            devFolder + "ttyUSB0), its name (ttyUSB0) or a present port name (COM33)";
    return std::nullopt;
}

bool UnpinPortName(const PortNameTable& table, const std::string& name, std::string& error) {
    if (!CheckName(table, name, error)) {
        return false;
    }
    const std::string entry = table.userDir() + "/" + name;
    struct stat st;
    if (::lstat(entry.c_str(), &st) != 0) {
        error = name + " has no entry in the port folder " + DisplayText(table.userDir());
        return false;
    }
    if (!S_ISLNK(st.st_mode)) {
        error = name + " is not a pin: " + DisplayText(entry) + " is " + FileKindName(st.st_mode) +
                "; it is left as it is";
        return false;
    }
    const std::string target = PinnedTarget(table, name);
    if (!IsPinTarget(table, target)) {
        struct stat lockSt;
        const std::string lock = table.entryLockPath(name);
        if (::lstat(lock.c_str(), &lockSt) == 0) {
            error = name + " is not a pin: it is a link to " + DisplayText(target) +
                    " entered by a virtual controller (kavo-cli simulate), with its lock file " +
                    DisplayText(lock) + "; it is left as it is";
        } else {
            error = name + " is not a pin: it is a link to " + DisplayText(target) + ", not to a " +
                    table.devRoot() + "/serial/by-id/ path; it is left as it is (remove it yourself: rm " +
                    DisplayText(entry) + ")";
        }
        return false;
    }
    if (::unlink(entry.c_str()) != 0) {
        error = "cannot remove " + DisplayText(entry) + ": " + Describe(errno);
        return false;
    }
    return true;
}
