#pragma once

#include "IPortResolver.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Maps the port names the user picks (COM0..COM254) to Linux serial devices, without opening anything.
//
// Built in: COM1..COM32 -> ttyS0..31 (only where the kernel reports a real UART in sysfs), COM33..COM64 ->
// ttyUSB0..31, COM65..COM96 -> ttyACM0..31. The user's folder of symbolic links named COMn (for example
// COM5 -> /dev/serial/by-id/usb-...) adds names and overrides built-in ones; an entry whose target is
// missing hides the name (an unplugged adapter is absent rather than replaced by a built-in device).
// Only a character device is present: an entry or a node that is a regular file, a folder or a FIFO
// hides its name the same way.
//
// An entry made by a virtual controller (kavo-cli simulate) is valid only while that controller runs: beside
// the link lies its lock file COMn.lock, which names the device the link leads to and which the controller
// holds locked (flock) for as long as it runs. Once the lock is free the controller is gone and its
// pseudo-terminal may belong to another program, so the name is absent: not listed, and not opened.
//
// The table is what the line asks when it opens a port by name (IPortResolver): the device, and whether a
// live UUCP lock file of another program marks it in use.
class PortNameTable : public IPortResolver {
  public:
    // userDir: folder of symlinks COMn -> device; sysfsRoot/devRoot/lockDir let tests inject a fake tree.
    // lockDir holds the UUCP lock files LCK..<device> that other serial programs leave.
    explicit PortNameTable(std::string userDir, std::string sysfsRoot = "/sys", std::string devRoot = "/dev",
                           std::string lockDir = "/var/lock");
    // KAVO_PORTS_DIR if set, else DefaultUserDir().
    static PortNameTable FromEnvironment();
    // $XDG_CONFIG_HOME (default ~/.config) + "/<organisation>/<application>/ports" (SettingsLocation.h)
    static std::string DefaultUserDir();
    const std::string& userDir() const;
    const std::string& sysfsRoot() const { return m_sysfsRoot; }
    const std::string& devRoot() const { return m_devRoot; }
    const std::string& lockDir() const { return m_lockDir; }
    // Device path for a present port name ("COM3"), std::nullopt when that name is not present.
    // Never opens the device.
    std::optional<std::string> devicePath(std::string_view portName) const override;
    // True when a live UUCP lock file in lockDir names devicePath under any name it goes by (UucpLock.h).
    bool heldByLockFile(const std::string& devicePath) const override;

    // The n of "COMn" (decimal, no leading zeros, no sign); std::nullopt for any other name.
    static std::optional<unsigned> PortNumber(std::string_view portName);

    // The lock file of a virtual controller's entry portName: "<port folder>/COMn.lock".
    std::string entryLockPath(std::string_view portName) const;

  private:
    std::optional<std::string> builtInPath(unsigned number) const;
    // True when the entry portName, a link to target, was made by a virtual controller that no longer runs
    // (or died while it made the entry): its lock file names target, or nothing, and is not held. A lock
    // file naming another device is not the entry's: its user pointed the name elsewhere since.
    bool isAbandonedEntry(std::string_view portName, std::string_view target) const;

    std::string m_userDir;
    std::string m_sysfsRoot;
    std::string m_devRoot;
    std::string m_lockDir;
};

// Highest number probed: COM0..COM254.
constexpr unsigned kLastPortNumber = 254;

// Present names in increasing number. Looks at what is there (one read of the device folder and one of the
// port folder) and asks devicePath only for the names those can give, instead of probing all 255.
std::vector<std::string> EnumeratePorts(const PortNameTable& table);
// The present names in increasing number, each with the device it maps to.
std::vector<std::pair<std::string, std::string>> EnumeratePortDevices(const PortNameTable& table);
// Adds the present names to list in increasing number; true when at least one was added.
bool EnumeratePorts(const PortNameTable& table, std::vector<std::string>& list);

// The order of the port list: as text, without regard to case (COM1, COM10, COM2), so the last entry is the
// greatest name in text order rather than the highest port number.
bool PortListLess(std::string_view a, std::string_view b);
void SortPortList(std::vector<std::string>& names);
