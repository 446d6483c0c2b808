#pragma once

#include <optional>
#include <string>
#include <string_view>

// What the line asks about a port name when it opens: the device the name stands for now, and whether
// another program marks that device as taken in a way a flock does not show. The line knows no naming
// scheme of its own; the port name table (ports/) answers for the platform.
class IPortResolver {
  public:
    virtual ~IPortResolver() = default;

    // The device path portName maps to now, std::nullopt when no device has that name. Never opens it.
    virtual std::optional<std::string> devicePath(std::string_view portName) const = 0;
    // True when a running program other than this one marks devicePath as in use by a lock file of its
    // own convention (a UUCP lock file on Linux). A stale mark is no mark.
    virtual bool heldByLockFile(const std::string& devicePath) const = 0;

  protected:
    IPortResolver() = default;
    IPortResolver(const IPortResolver&) = default;
    IPortResolver& operator=(const IPortResolver&) = default;
};
