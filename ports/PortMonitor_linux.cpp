#include "PortMonitor.h"

#include <libudev.h>
#include <poll.h>

struct PortMonitor::Impl {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    ~Impl() {
        if (monitor != nullptr) {
            udev_monitor_unref(monitor);
        }
        if (context != nullptr) {
            udev_unref(context);
        }
    }
};

PortMonitor::PortMonitor() : m_impl(std::make_unique<Impl>()) {
    m_impl->context = udev_new();
    if (m_impl->context == nullptr) {
        return;
    }
    udev_monitor* monitor = udev_monitor_new_from_netlink(m_impl->context, "udev");
    if (monitor == nullptr) {
        return;
    }
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        udev_monitor_unref(monitor);
        return;
    }
    m_impl->monitor = monitor;
}

PortMonitor::~PortMonitor() = default;

int PortMonitor::fd() const {
    return m_impl->monitor != nullptr ? udev_monitor_get_fd(m_impl->monitor) : -1;
}

std::vector<PortMonitor::Event> PortMonitor::Drain() {
    std::vector<Event> events;
    if (m_impl->monitor == nullptr) {
        return events;
    }
    // Asked only while something waits, so that no receive can block the caller's event loop.
    pollfd p{udev_monitor_get_fd(m_impl->monitor), POLLIN, 0};
    while (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0) {
        udev_device* dev = udev_monitor_receive_device(m_impl->monitor);
        if (dev == nullptr) {
            break;
        }
        const auto text = [](const char* s) { return s != nullptr ? std::string(s) : std::string(); };
        events.push_back(Event{text(udev_device_get_action(dev)), text(udev_device_get_sysname(dev)),
                               text(udev_device_get_devnode(dev))});
        udev_device_unref(dev);
    }
    return events;
}
