#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

// The lock files serial programs of the UUCP tradition leave while they use a line:
// <lockDir>/LCK..<device name> ("/var/lock/LCK..ttyUSB0") holding the owner's PID, as ten ASCII digits or
// as a binary int. A file whose PID runs marks the line in use; one whose PID is gone, or that names no
// PID, is stale and marks nothing.
//
// Anyone may write the lock folder, so what is found there is read with care: never followed through a
// link, never waited on (a FIFO in its place), at most kUucpLockMaxBytes of it. A lock file that cannot be
// read (not a regular file, or no read permission) marks the line in use by an unknown program: its
// owner cannot be told, and leaving the line alone is the safe answer.

constexpr std::size_t kUucpLockMaxBytes = 64;

struct UucpLock {
    std::string path;
    pid_t pid = 0;     // 0 when the file names no PID
    bool live = false; // the PID runs (and is not this process), or the file cannot be read
    // Why the file could not be read ("it is a FIFO, not a regular file"), English; empty when it was.
    std::string unreadable;
};

// The PID a lock file's bytes name: ASCII digits (leading blanks, then a line end or a blank and anything),
// or exactly one binary int. std::nullopt for anything else: empty, garbage, negative, zero, or beyond the
// range of a PID (never wrapped into one).
std::optional<pid_t> ParseUucpLockPid(std::string_view bytes);

// The lock file of deviceName ("ttyUSB0"), std::nullopt when there is none.
std::optional<UucpLock> FindUucpLock(const std::string& lockDir, const std::string& deviceName);
// The lock file of devicePath under any name it goes by: its own last part and that of every link on the
// way to the node (a by-id link leads to ttyUSB0). A live one first.
std::optional<UucpLock> FindUucpLockOf(const std::string& lockDir, const std::string& devicePath);
