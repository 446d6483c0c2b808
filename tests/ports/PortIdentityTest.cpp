// Identities and discovery with identities over a fake machine (FakeAdapters.h).
#include "PortIdentity.h"
#include "FakeAdapters.h"
#include "PortScanner.h"

#include <string>
#include <vector>

namespace {

TEST_F(FakeAdapters, AUsbAdapterIsKnownByItsStringsIdsDriverAndByIdLink) {
    plugUsb("ttyUSB0", "FT232R USB UART", "A10K3J");
    const PortIdentityReader reader(path("sys"), path("dev"));
    for (const std::string& given :
         {path("dev/ttyUSB0"), path("dev/serial/by-id/usb-FTDI_A10K3J-if00-port0")}) {
        SCOPED_TRACE(given);
        const PortIdentity id = reader.Read(given);
        EXPECT_EQ(id.kernelName, "ttyUSB0");
        EXPECT_EQ(id.VendorProduct(), "0403:6001");
        EXPECT_EQ(id.manufacturer, "FTDI");
        EXPECT_EQ(id.serial, "A10K3J");
        EXPECT_EQ(id.driver, "ftdi_sio");
        EXPECT_EQ(id.byIdLink, path("dev/serial/by-id/usb-FTDI_A10K3J-if00-port0"));
        EXPECT_EQ(id.Summary(), "FT232R USB UART (A10K3J)");
    }
}

TEST_F(FakeAdapters, SummariesOfAnAdapterWithoutProductAUartAndAPseudoTerminal) {
    plugUsb("ttyUSB0", "", "XY1");
    addUart("ttyS0");
    const PortIdentityReader reader(path("sys"), path("dev"));
    EXPECT_EQ(reader.Read(path("dev/ttyUSB0")).Summary(), "USB 0403:6001 (XY1)");
    const PortIdentity uart = reader.Read(path("dev/ttyS0"));
    EXPECT_EQ(uart.Summary(), "ttyS0");
    EXPECT_EQ(uart.driver, "serial");
    EXPECT_FALSE(uart.IsUsb());
    EXPECT_EQ(reader.Read(m_pty.slaveName).Summary(), "");
}

// The scanner gives the names EnumeratePorts gives, each with its identity, and reads an identity again
// only when the node changed (an adapter plugged anew).
TEST_F(FakeAdapters, ScannerListsIdentitiesAndRereadsOnlyChangedNodes) {
    plugUsb("ttyUSB0", "FT232R USB UART", "A10K3J");
    addUart("ttyS0");
    PortScanner scanner(table());
    std::vector<PortEntry> entries = scanner.Scan();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "COM1");
    EXPECT_EQ(entries[1].name, "COM33");
    EXPECT_EQ(entries[1].identity.Summary(), "FT232R USB UART (A10K3J)");

    // The same node: the cached identity, even though sysfs says otherwise now.
    write(path("sys/devices/pci0000:00/usb1/1-1/product"), "Other");
    EXPECT_EQ(scanner.Scan()[1].identity.product, "FT232R USB UART");
    // Unplugged and plugged in again: a node made anew, read anew.
    fs::remove(path("dev/ttyUSB0"));
    EXPECT_EQ(scanner.Scan().size(), 1u);
    PtyPair other;
    fs::create_symlink(other.slaveName, path("dev/ttyUSB0"));
    EXPECT_EQ(scanner.Scan()[1].identity.product, "Other");
}

} // namespace
