#pragma once

#include "PortIdentity.h"
#include "PortNameTable.h"

#include <cstddef>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Why a serial port cannot be used, and what to do about it: permission (the device's group and mode
// against the user's groups), another program holding it (flock, a live UUCP lock file, an open
// descriptor), ModemManager probing it, brltty claiming it. The same words serve kavo-cli doctor and the
// second line of the form's failed-open message. What reads the machine is in PortDoctor_linux.cpp.

// Who asks: the user and the groups of this session. Made up in tests (they may run as root).
struct DoctorCredentials {
    uid_t uid = 0;
    std::string userName;
    std::vector<gid_t> groups; // this session's, the primary group included
    static DoctorCredentials OfThisProcess();
};

// The groups of a group file (/etc/group: name:password:gid:members), read once and then asked.
class GroupFile {
  public:
    // The groups in path; none when it cannot be read.
    static GroupFile Read(const std::string& path);
    // The name of the group gid ("dialout"); the number when the file has no such group.
    std::string NameOf(gid_t gid) const;
    // The gid of the group named name.
    std::optional<gid_t> IdOf(const std::string& name) const;
    // True when userName is listed as a member of the group gid.
    bool Lists(const std::string& userName, gid_t gid) const;

  private:
    struct Group {
        std::string name;
        gid_t gid = 0;
        std::vector<std::string> members;
    };
    std::vector<Group> m_groups;
};

// Where the doctor looks. The defaults are this machine's; tests point them at fixtures.
struct DoctorSystem {
    std::string procRoot = "/proc";
    // The group file, read when the system is made: every question about groups asks this one reading.
    GroupFile groups = GroupFile::Read("/etc/group");
    std::vector<std::string> udevRuleDirs = {"/etc/udev/rules.d", "/run/udev/rules.d",
                                             "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
    std::vector<std::string> brlttyPrograms = {"/usr/bin/brltty", "/bin/brltty", "/usr/sbin/brltty"};
    DoctorCredentials credentials = DoctorCredentials::OfThisProcess();
    // Asks the kernel too (ACLs such as udev's uaccess); off when the credentials are made up.
    bool checkAccess = true;
    // A holder with this PID is not reported (the asking program itself); 0 reports every holder.
    pid_t self = 0;

    static DoctorSystem OfThisMachine();
};

// A program that holds a device.
struct PortHolder {
    pid_t pid = 0;       // 0 when unknown (a lock file that cannot be read)
    std::string program; // from /proc/PID/comm as the system gives it, empty when unknown
    std::string how;     // "flock", "lock file /var/lock/LCK..ttyUSB0", "open descriptor"
    // A lock file that marks the port in use but cannot be read, and why; empty otherwise.
    std::string unreadableLock;
    std::string unreadableWhy;
    // "minicom (PID 1234)" (shown safely, DisplayText.h), "an unknown program" without a PID
    std::string Describe() const;
};

// The USB adapters the package's udev rule (packaging/70-kavo-serial.rules) gives the logged-in user access
// to: its USB vendor and product ids, and only as ttyUSB devices.
struct UdevRuleAdapter {
    const char* vendorId;
    const char* productId;
};
extern const UdevRuleAdapter kUdevRuleAdapters[];
extern const std::size_t kUdevRuleAdapterCount;
// True when the package's udev rule gives access to the device of identity.
bool UdevRuleCovers(const PortIdentity& identity);

struct PortFinding {
    enum Kind { Missing, Permission, NotYetInSession, Held, StaleLockFile, ModemManager, Brltty };
    Kind kind;
    bool blocksOpen;  // opening fails because of it (ModemManager and brltty spoil the line instead)
    std::string text; // cause, then the remedy: one sentence or two
};

// Everything found against the port name (its device from the table, its identity from sysfs/udev).
std::vector<PortFinding> DiagnosePort(const PortNameTable& table, const std::string& name,
                                      const PortIdentity& identity, const DoctorSystem& system);

// The first program found holding devicePath: flock (/proc/locks), a live UUCP lock file (or one that
// cannot be read), an open descriptor (/proc/PID/fd, where /proc shows it). Of a pseudo-terminal the
// program at the other end (holding its master) is its peer, not a competing user: a descriptor it keeps on
// the terminal's own end does not count.
std::optional<PortHolder> FindPortHolder(const std::string& devicePath, const std::string& lockDir,
                                         const DoctorSystem& system);
bool ModemManagerRunning(const DoctorSystem& system);
bool BrlttyInstalled(const DoctorSystem& system);
// The brltty udev rule files that claim the USB ids vendorId:productId.
std::vector<std::string> BrlttyRulesClaiming(const std::string& vendorId, const std::string& productId,
                                             const DoctorSystem& system);

// The second line of the failed-open message: the cause found and its remedy where the doctor finds one
// that explains the failure, else PortOpenFailureText's sentence.
std::string ExplainOpenFailure(const PortNameTable& table, const std::string& name, int portError,
                               int systemError, const PortIdentity& identity, const DoctorSystem& system);
