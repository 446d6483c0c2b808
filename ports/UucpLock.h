#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

// The lock files serial programs of the UUCP tradition leave while they use a line:
// <lockDir>/LCK..<device name> ("/var/lock/LCK..ttyUSB0") holding the owner's PID, as ten ASCII digits or
// as a binary int. A file whose PID runs marks the line in use; one whose PID is gone is stale and marks
// nothing.

struct UucpLock {
    std::string path;
    pid_t pid = 0;
    bool live = false; // the PID runs (and is not this process)
};

// The lock file of deviceName ("ttyUSB0"), std::nullopt when there is none or it names no PID.
std::optional<UucpLock> FindUucpLock(const std::string& lockDir, const std::string& deviceName);
// The lock file of devicePath under any name it goes by: its own last part and that of every link on the
// way to the node (a by-id link leads to ttyUSB0). A live one first.
std::optional<UucpLock> FindUucpLockOf(const std::string& lockDir, const std::string& devicePath);
