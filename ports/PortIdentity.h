#pragma once

#include <memory>
#include <string>

// What tells one serial device from another: for a USB adapter its vendor and product (names and ids),
// serial number, driver and /dev/serial/by-id link; for a built-in UART its kernel name and driver. Empty
// fields are unknown (a pseudo-terminal has nothing but its path).
struct PortIdentity {
    std::string device;               // the path the port name maps to ("/dev/ttyUSB0")
    std::string kernelName;           // "ttyUSB0"; empty when sysfs does not know the device
    std::string vendorId;             // "0403"; USB only
    std::string productId;            // "6001"; USB only
    std::string manufacturer;         // "FTDI"
    std::string product;              // "FT232R USB UART"
    std::string serial;               // "A10K3J"
    std::string driver;               // "ftdi_sio", "cdc_acm", "serial8250", ...
    std::string byIdLink;             // "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3J-if00-port0"
    bool modemManagerIgnores = false; // udev's ID_MM_DEVICE_IGNORE is set for it

    bool IsUsb() const { return !vendorId.empty(); }
    // "0403:6001", empty when not USB.
    std::string VendorProduct() const;
    // What the port list shows after the name: "FT232R USB UART (A10K3J)", "USB 0403:6001" when the
    // adapter has no product string, the kernel name for a UART, empty for a device sysfs does not know.
    // Shown safely (DisplayText.h): the adapter's strings are whatever its maker put there.
    std::string Summary() const;
};

// Reads identities from sysfs and, on the machine's own trees, from udev's database (where udev runs).
// Never opens the device. The roots are injectable so that tests can build a fake machine; udev is asked
// only when sysfsRoot is "/sys" (umockdev redirects that one to its own test bed).
class PortIdentityReader {
  public:
    explicit PortIdentityReader(std::string sysfsRoot = "/sys", std::string devRoot = "/dev");
    ~PortIdentityReader();
    PortIdentityReader(const PortIdentityReader&) = delete;
    PortIdentityReader& operator=(const PortIdentityReader&) = delete;

    PortIdentity Read(const std::string& devicePath) const;
    // The kernel's name for devicePath ("ttyUSB0"), following links (a by-id link, a port-folder entry)
    // until a name sysfs knows as a tty; empty when there is none.
    std::string KernelName(const std::string& devicePath) const;
    // The by-id link that leads to the tty kernelName, empty when none.
    std::string ByIdLinkOf(const std::string& kernelName) const;

  private:
    struct Udev;
    std::string m_sysfsRoot;
    std::string m_devRoot;
    std::unique_ptr<Udev> m_udev; // null without udev or on a fake tree
};
