#pragma once

#include <memory>
#include <string>
#include <vector>

// Tells of serial devices plugged and unplugged, from udev's monitor ("tty" subsystem, after udev's rules
// have run, so the by-id links are there). The caller watches fd() with its own event loop and calls
// Drain() when it is readable; nothing here runs a thread or polls.
class PortMonitor {
  public:
    struct Event {
        std::string action;     // "add", "remove", "change", ...
        std::string kernelName; // "ttyUSB0"
        std::string devNode;    // "/dev/ttyUSB0", may be empty
    };

    // Starts monitoring; Ok() is false where there is no udev (a container) or the monitor can't start.
    PortMonitor();
    ~PortMonitor();
    PortMonitor(const PortMonitor&) = delete;
    PortMonitor& operator=(const PortMonitor&) = delete;

    bool Ok() const { return fd() >= 0; }
    // The descriptor that becomes readable when events wait, -1 when not Ok().
    int fd() const;
    // The events waiting now, without blocking.
    std::vector<Event> Drain();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
