#include "PortPin.h"

#include "ReplaceLink.h"

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
        error = "'" + name + "' is no port name (COM0..COM" + std::to_string(kLastPortNumber) + ")";
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
        error = "cannot make the port folder " + table.userDir() + ": " + ec.message();
        return false;
    }
    const std::string entry = table.userDir() + "/" + name;
    struct stat st;
    if (::lstat(entry.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = entry + " is not a link; it is left as it is";
        return false;
    }
    if (const int e = ReplaceLink(entry, target); e != 0) {
        error = "cannot write " + entry + ": " + Describe(e);
        return false;
    }
    return true;
}

bool UnpinPortName(const PortNameTable& table, const std::string& name, std::string& error) {
    if (!CheckName(table, name, error)) {
        return false;
    }
    const std::string entry = table.userDir() + "/" + name;
    struct stat st;
    if (::lstat(entry.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        error = name + " has no entry in the port folder " + table.userDir();
        return false;
    }
    if (::unlink(entry.c_str()) != 0) {
        error = "cannot remove " + entry + ": " + Describe(errno);
        return false;
    }
    return true;
}
