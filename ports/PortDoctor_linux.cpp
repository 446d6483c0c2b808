// The doctor on Linux: the device's mode and group against the user's groups (/etc/group), ModemManager
// among the processes, brltty's udev rules. Who holds a port is found in PortHolders_linux.cpp.
#include "PortDoctor.h"
#include "PortHolders_linux.h"

#include "DisplayText.h"
#include "TextCatalogue.h"
#include "UucpLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
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

using namespace port_holders;

namespace {

// "crw-rw----"
std::string ModeText(mode_t mode) {
    std::string text = S_ISCHR(mode) ? "c" : "-";
    const char* letters = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i) {
        text += (mode & (0400 >> i)) != 0 ? letters[i] : '-';
    }
    return text;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// "0403" -> "403": the form the kernel's PRODUCT variable uses.
std::string WithoutLeadingZeros(const std::string& hex) {
    const auto first = hex.find_first_not_of('0');
    return first == std::string::npos ? "0" : hex.substr(first);
}

// The permission finding for device, if the user cannot read and write it.
std::optional<PortFinding> CheckPermission(const std::string& name, const std::string& device,
                                           const PortIdentity& identity, const DoctorSystem& system) {
    struct stat st;
    if (::stat(device.c_str(), &st) != 0) {
        return std::nullopt;
    }
    const DoctorCredentials& who = system.credentials;
    if (system.checkAccess && ::access(device.c_str(), R_OK | W_OK) == 0) {
        return std::nullopt;
    }
    if (who.uid == 0) {
        return std::nullopt;
    }
    if (st.st_uid == who.uid && (st.st_mode & 0600) == 0600) {
        return std::nullopt;
    }
    const bool inGroup = std::find(who.groups.begin(), who.groups.end(), st.st_gid) != who.groups.end();
    if (inGroup && (st.st_mode & 0060) == 0060) {
        return std::nullopt;
    }
    if ((st.st_mode & 0006) == 0006) {
        return std::nullopt;
    }
    const std::string group = DisplayText(system.groups.NameOf(st.st_gid));
    // %1 the port, %2 the device, %3 its group, %4 its mode ("crw-rw----").
    const std::string mode = ModeText(st.st_mode);
    const std::string shownDevice = DisplayText(device);
    const std::initializer_list<std::string_view> values{name, shownDevice, group, mode};
    // A pseudo-terminal belongs to the program that made it: no group or udev rule is the way in.
    // (A device sysfs knows as a tty of its own, a USB adapter or a UART, is taken for what sysfs says.)
    const std::optional<unsigned> pty =
        identity.IsUsb() || !identity.kernelName.empty() ? std::nullopt : PtyIndex(device);
    if (pty) {
        const std::optional<PortHolder> peer = PtyPeer(*pty, system);
        const std::string owner = std::to_string(st.st_uid);
        const passwd* pw = ::getpwuid(st.st_uid);
        return PortFinding{
            PortFinding::Permission, true,
            FillText(KAVO_TR("PortDoctor",
                             "Permission denied for %1: %2 is a pseudo-terminal (%4) that belongs to "
                             "%5, the user of %6 at its other end, which made it: run this program as "
                             "that user, or have the program at the other end give access to it."),
                     {name, shownDevice, group, mode,
                      pw != nullptr && pw->pw_name != nullptr ? DisplayText(pw->pw_name) : owner,
                      peer ? peer->Describe() : KAVO_TR("PortDoctor", "the program")})};
    }
    if ((st.st_mode & 0060) == 0060 && !inGroup && system.groups.Lists(who.userName, st.st_gid)) {
        return PortFinding{
            PortFinding::NotYetInSession, true,
            FillText(KAVO_TR("PortDoctor",
                             "Permission denied for %1: %2 belongs to group %3 (%4); you are in "
                             "the %3 group in /etc/group but not yet in this session: log out "
                             "and in (or run newgrp %3)."),
                     values)};
    }
    if ((st.st_mode & 0060) == 0060) {
        return PortFinding{
            PortFinding::Permission, true,
            FillText(KAVO_TR("PortDoctor",
                             "Permission denied for %1: %2 belongs to group %3 (%4) and you are "
                             "not in it: add yourself to the %3 group (sudo usermod -aG %3 "
                             "$USER), then log out and in."),
                     values)};
    }
    // The package's udev rule gives access to the USB adapters of the chips it names, and to nothing else.
    if (UdevRuleCovers(identity)) {
        return PortFinding{
            PortFinding::Permission, true,
            FillText(KAVO_TR("PortDoctor",
                             "Permission denied for %1: %2 belongs to group %3 (%4), which gives no "
                             "group access: ask the administrator to install the udev rule that "
                             "gives the logged-in user access to USB serial adapters."),
                     values)};
    }
    return PortFinding{
        PortFinding::Permission, true,
        FillText(KAVO_TR("PortDoctor",
                         "Permission denied for %1: %2 belongs to group %3 (%4), which gives no "
                         "group access: ask the administrator to give the dialout group read and "
                         "write access to it (sudo chgrp dialout %2; sudo chmod 660 %2, or a udev "
                         "rule that does so at every start), then add yourself to the dialout group."),
                 values)};
}

} // namespace

DoctorCredentials DoctorCredentials::OfThisProcess() {
    DoctorCredentials who;
    who.uid = ::getuid();
    if (const passwd* pw = ::getpwuid(who.uid); pw != nullptr && pw->pw_name != nullptr) {
        who.userName = pw->pw_name;
    }
    const int n = ::getgroups(0, nullptr);
    if (n > 0) {
        who.groups.resize(static_cast<std::size_t>(n));
        who.groups.resize(static_cast<std::size_t>(std::max(0, ::getgroups(n, who.groups.data()))));
    }
    if (std::find(who.groups.begin(), who.groups.end(), ::getgid()) == who.groups.end()) {
        who.groups.push_back(::getgid());
    }
    return who;
}

DoctorSystem DoctorSystem::OfThisMachine() {
    DoctorSystem system;
    system.self = ::getpid();
    return system;
}

GroupFile GroupFile::Read(const std::string& path) {
    GroupFile file;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        // name:password:gid:members; a line without all four fields, or whose gid is no number, names no
        // group.
        const auto a = line.find(':');
        const auto b = a == std::string::npos ? a : line.find(':', a + 1);
        const auto c = b == std::string::npos ? b : line.find(':', b + 1);
        if (c == std::string::npos) {
            continue;
        }
        Group group;
        group.name = line.substr(0, a);
        const std::string_view id = std::string_view(line).substr(b + 1, c - b - 1);
        const auto [end, ec] = std::from_chars(id.data(), id.data() + id.size(), group.gid);
        if (id.empty() || ec != std::errc() || end != id.data() + id.size()) {
            continue;
        }
        std::istringstream members(line.substr(c + 1));
        std::string member;
        while (std::getline(members, member, ',')) {
            group.members.push_back(member);
        }
        file.m_groups.push_back(std::move(group));
    }
    return file;
}

std::string GroupFile::NameOf(gid_t gid) const {
    for (const Group& group : m_groups) {
        if (group.gid == gid) {
            return group.name;
        }
    }
    return std::to_string(gid);
}

std::optional<gid_t> GroupFile::IdOf(const std::string& name) const {
    for (const Group& group : m_groups) {
        if (group.name == name) {
            return group.gid;
        }
    }
    return std::nullopt;
}

bool GroupFile::Lists(const std::string& userName, gid_t gid) const {
    if (userName.empty()) {
        return false;
    }
    return std::any_of(m_groups.begin(), m_groups.end(), [&](const Group& group) {
        return group.gid == gid &&
               std::find(group.members.begin(), group.members.end(), userName) != group.members.end();
    });
}

bool ModemManagerRunning(const DoctorSystem& system) {
    bool running = false;
    ForEachProcess(system.procRoot, [&](pid_t pid) {
        running = ProgramName(system, pid) == "ModemManager";
        return running;
    });
    return running;
}

bool BrlttyInstalled(const DoctorSystem& system) {
    for (const std::string& program : system.brlttyPrograms) {
        if (::access(program.c_str(), F_OK) == 0) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> BrlttyRulesClaiming(const std::string& vendorId, const std::string& productId,
                                             const DoctorSystem& system) {
    std::vector<std::string> files;
    if (vendorId.empty()) {
        return files;
    }
    const std::string vid = Lower(vendorId), pid = Lower(productId);
    // brltty's rules name adapters by the kernel's PRODUCT ("1a86/7523/*") or by sysfs attributes.
    const std::string product = "\"" + WithoutLeadingZeros(vid) + "/" + WithoutLeadingZeros(pid) + "/";
    const std::string vendorAttr = "{idvendor}==\"" + vid + "\"";
    const std::string productAttr = "{idproduct}==\"" + pid + "\"";
    for (const std::string& dir : system.udevRuleDirs) {
        DIR* d = ::opendir(dir.c_str());
        if (d == nullptr) {
            continue;
        }
        while (const dirent* e = ::readdir(d)) {
            const std::string file = e->d_name;
            if (file.find("brltty") == std::string::npos) {
                continue;
            }
            std::ifstream in(dir + "/" + file);
            std::string line;
            while (std::getline(in, line)) {
                const std::string l = Lower(line);
                if (!l.empty() && l[0] == '#') {
                    continue;
                }
                if (l.find(product) != std::string::npos ||
                    (l.find(vendorAttr) != std::string::npos && l.find(productAttr) != std::string::npos)) {
                    files.push_back(dir + "/" + file);
                    break;
                }
            }
        }
        ::closedir(d);
    }
    return files;
}

std::vector<PortFinding> DiagnosePort(const PortNameTable& table, const std::string& name,
                                      const PortIdentity& identity, const DoctorSystem& system) {
    std::vector<PortFinding> findings;
    const std::optional<std::string> device = table.devicePath(name);
    if (!device) {
        findings.push_back(
            {PortFinding::Missing, true,
             FillText(KAVO_TR("PortDoctor",
                              "%1 was not found: the adapter may be unplugged, or no device has "
                              "that name."),
                      {name})});
        return findings;
    }
    if (std::optional<PortFinding> permission = CheckPermission(name, *device, identity, system)) {
        findings.push_back(std::move(*permission));
    }
    if (const std::optional<PortHolder> holder = FindPortHolder(*device, table.lockDir(), system)) {
        if (!holder->unreadableLock.empty()) {
            // Nobody can be named; the port is left alone until the file goes.
            findings.push_back(
                {PortFinding::Held, true,
                 FillText(KAVO_TR("PortDoctor",
                                  "%1 is marked in use by the lock file %2, which cannot be read (%3), "
                                  "so the program holding the port cannot be told and the port is left "
                                  "alone. If no program uses %1, remove the file: sudo rm %2"),
                          {name, DisplayText(holder->unreadableLock), holder->unreadableWhy})});
        } else {
            findings.push_back(
                {PortFinding::Held, true,
                 FillText(KAVO_TR("PortDoctor", "%1 is in use by another program: %2 holds it (%3); "
                                                "close that program and try again."),
                          {name, holder->Describe(), holder->how})});
        }
    } else if (const std::optional<UucpLock> lock = FindUucpLockOf(table.lockDir(), *device);
               lock && !lock->live && lock->pid == 0) {
        findings.push_back(
            {PortFinding::StaleLockFile, false,
             FillText(KAVO_TR("PortDoctor", "The lock file %1 names no process; it is ignored (remove "
                                            "it: sudo rm %1)."),
                      {DisplayText(lock->path)})});
    } else if (lock && !lock->live) {
        findings.push_back(
            {PortFinding::StaleLockFile, false,
             FillText(KAVO_TR("PortDoctor", "A stale lock file %1 names PID %2, which no longer "
                                            "runs; it is ignored (remove it: sudo rm %1)."),
                      {DisplayText(lock->path), std::to_string(lock->pid)})});
    }
    if (identity.IsUsb() && !identity.modemManagerIgnores && ModemManagerRunning(system)) {
        findings.push_back(
            {PortFinding::ModemManager, false,
             FillText(
                 KAVO_TR("PortDoctor",
                         "ModemManager is running and is not told to leave this adapter (%1) alone: it "
                         "probes USB serial adapters with AT commands when they are plugged in. Install a "
                         "udev rule that sets ENV{ID_MM_DEVICE_IGNORE}=\"1\" for it (the package's rule "
                         "does for common chips), or stop it: sudo systemctl disable --now ModemManager."),
                 {DisplayText(identity.VendorProduct())})});
    }
    if (identity.IsUsb() && BrlttyInstalled(system)) {
        const std::vector<std::string> rules =
            BrlttyRulesClaiming(identity.vendorId, identity.productId, system);
        if (!rules.empty()) {
            findings.push_back(
                {PortFinding::Brltty, false,
                 FillText(KAVO_TR("PortDoctor",
                                  "brltty is installed and its udev rules (%1) claim this adapter "
                                  "(%2): it takes the port when the adapter is plugged in. Without "
                                  "a braille display here, remove it: sudo apt remove brltty."),
                          {DisplayText(rules.front()), DisplayText(identity.VendorProduct())})});
        }
    }
    return findings;
}
