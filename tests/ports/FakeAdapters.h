#pragma once

// A fake machine for the ports tests: a temporary folder with a sysfs tree laid out as the kernel lays out a
// USB adapter and a UART, device nodes (links to a pseudo-terminal), /dev/serial/by-id, the port folder, a
// lock folder and a fake /proc.
#include "PortNameTable.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

class FakeAdapters : public ::testing::Test {
  protected:
    FakeAdapters() {
        std::string templ = (fs::temp_directory_path() / "kavo-identity-XXXXXX").string();
        m_root = ::mkdtemp(templ.data());
        for (const char* d : {"sys/class/tty", "dev/serial/by-id", "ports", "lock", "proc"}) {
            fs::create_directories(m_root + "/" + d);
        }
    }
    ~FakeAdapters() override { fs::remove_all(m_root); }
    void SetUp() override { ASSERT_TRUE(m_pty.ok()); }

    std::string path(const std::string& sub) const { return m_root + "/" + sub; }
    PortNameTable table() const {
        return PortNameTable(path("ports"), path("sys"), path("dev"), path("lock"));
    }
    static void write(const std::string& file, const std::string& text) {
        fs::create_directories(fs::path(file).parent_path());
        std::ofstream(file) << text << "\n";
    }
    // A USB adapter as the kernel shows it: the usb device with its strings, its interface with the
    // driver, the usb-serial port and the tty below it; the node in /dev and udev's by-id link.
    void plugUsb(const std::string& tty, const std::string& product, const std::string& serial) {
        const std::string usb = path("sys/devices/pci0000:00/usb1/1-1");
        write(usb + "/idVendor", "0403");
        write(usb + "/idProduct", "6001");
        write(usb + "/manufacturer", "FTDI");
        if (!product.empty()) {
            write(usb + "/product", product);
        }
        write(usb + "/serial", serial);
        const std::string port = usb + "/1-1:1.0/" + tty;
        fs::create_directories(port + "/tty/" + tty);
        fs::create_directories(path("sys/bus/usb-serial/drivers/ftdi_sio"));
        fs::create_symlink("../../../../../../bus/usb-serial/drivers/ftdi_sio", port + "/driver");
        fs::create_symlink("../../devices/pci0000:00/usb1/1-1/1-1:1.0/" + tty + "/tty/" + tty,
                           path("sys/class/tty/" + tty));
        fs::create_symlink(m_pty.slaveName, path("dev/" + tty));
        fs::create_symlink("../../" + tty, path("dev/serial/by-id/usb-FTDI_" + serial + "-if00-port0"));
    }
    void addUart(const std::string& tty) {
        const std::string dev = path("sys/devices/pnp0/00:01/tty/" + tty);
        fs::create_directories(dev);
        write(dev + "/type", "4");
        fs::create_directories(path("sys/bus/pnp/drivers/serial"));
        fs::create_symlink("../../../bus/pnp/drivers/serial", path("sys/devices/pnp0/00:01/driver"));
        fs::create_symlink("../../devices/pnp0/00:01/tty/" + tty, path("sys/class/tty/" + tty));
        fs::create_symlink(m_pty.slaveName, path("dev/" + tty));
    }

    std::string m_root;
    PtyPair m_pty;
};
