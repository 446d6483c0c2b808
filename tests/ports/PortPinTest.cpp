// "Keep this adapter's name": the port folder entry becomes a link to the adapter's by-id path, over a fake
// machine (FakeAdapters.h).
#include "PortPin.h"
#include "FakeAdapters.h"

#include <optional>
#include <string>

namespace {

TEST_F(FakeAdapters, PinningWritesTheByIdLinkAndUnpinningRemovesIt) {
    plugUsb("ttyUSB0", "FT232R USB UART", "A10K3J");
    const std::string byId = path("dev/serial/by-id/usb-FTDI_A10K3J-if00-port0");
    std::string error;
    ASSERT_TRUE(PinPortName(table(), "COM5", byId, error)) << error;
    EXPECT_EQ(PinnedTarget(table(), "COM5"), byId);
    EXPECT_EQ(table().devicePath("COM5"), byId);
    ASSERT_TRUE(PinPortName(table(), "COM5", byId, error)) << error; // again: replaced
    // Whatever another pin or a crash left in the folder does not stand in the way, and is left alone.
    fs::create_directories(path("ports/.COM5.new/left"));
    ASSERT_TRUE(PinPortName(table(), "COM5", byId, error)) << error;
    EXPECT_TRUE(fs::is_directory(path("ports/.COM5.new/left")));
    fs::remove_all(path("ports/.COM5.new"));
    for (const auto& entry : fs::directory_iterator(path("ports"))) {
        EXPECT_EQ(entry.path().filename(), "COM5"); // no temporary link left behind
    }
    EXPECT_FALSE(PinPortName(table(), "COM255", byId, error));
    EXPECT_NE(error.find("no port name"), std::string::npos);
    std::ofstream(path("ports/COM6")) << "mine";
    EXPECT_FALSE(PinPortName(table(), "COM6", byId, error)); // not a link: left alone
    EXPECT_TRUE(UnpinPortName(table(), "COM5", error)) << error;
    EXPECT_FALSE(fs::exists(fs::symlink_status(path("ports/COM5"))));
    EXPECT_FALSE(UnpinPortName(table(), "COM5", error));
}

// Only a pin is unpinned: a virtual controller's entry (a running one's, whose lock lies beside it), a link
// of the user's own to somewhere else, a file: each is left as it is and named. A target is shown safely.
// Nor is a running virtual controller's entry pinned over.
TEST_F(FakeAdapters, UnpinningRemovesOnlyPins) {
    plugUsb("ttyUSB0", "FT232R USB UART", "A10K3J");
    std::string error;
    ASSERT_TRUE(PinPortName(table(), "COM5", path("dev/serial/by-id/usb-FTDI_A10K3J-if00-port0"), error));
    fs::create_symlink(m_pty.slaveName, path("ports/COM6"));
    write(path("ports/COM6.lock"), m_pty.slaveName);
    fs::create_symlink(path("dev/ttyUSB0\x1b[2J"), path("ports/COM7"));
    write(path("ports/COM8"), "mine");
    const struct {
        const char* name;
        bool removed;
        std::string says;
    } cases[] = {
        {"COM5", true, ""},
        {"COM6", false,
         "COM6 is not a pin: it is a link to " + m_pty.slaveName + " entered by a virtual controller"},
        {"COM7", false, "COM7 is not a pin: it is a link to " + path("dev/ttyUSB0\\x1b[2J") + ", not to a"},
        {"COM8", false,
         "COM8 is not a pin: " + path("ports/COM8") + " is a regular file; it is left as it is"},
        {"COM9", false, "COM9 has no entry in the port folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        error.clear();
        EXPECT_EQ(UnpinPortName(table(), c.name, error), c.removed);
        EXPECT_EQ(fs::exists(fs::symlink_status(path("ports/") + c.name)),
                  !c.removed && c.says.find("no entry") == std::string::npos);
        EXPECT_EQ(error.rfind(c.says, 0), 0u) << error;
    } // Nor does a pin replace a virtual controller's entry.
    EXPECT_FALSE(PinPortName(table(), "COM6", path("dev/serial/by-id/usb-FTDI_A10K3J-if00-port0"), error));
    EXPECT_EQ(error.rfind("COM6 is a virtual controller's entry", 0), 0u) << error;
    EXPECT_EQ(PinnedTarget(table(), "COM6"), m_pty.slaveName);
}

// The device to pin: a present port name, a kernel name, or a path under the device folder without "." or
// ".." parts; nothing relative, nothing outside.
TEST_F(FakeAdapters, PinningTakesADeviceUnderTheDeviceFolderOnly) {
    plugUsb("ttyUSB0", "FT232R USB UART", "A10K3J");
    const struct {
        std::string given;
        std::optional<std::string> device;
    } cases[] = {
        {"ttyUSB0", path("dev/ttyUSB0")},
        {path("dev/ttyUSB0"), path("dev/ttyUSB0")},
        {"COM33", path("dev/ttyUSB0")},
        {"COM34", std::nullopt}, // not present
        {"../ttyUSB0", std::nullopt},
        {"./ttyUSB0", std::nullopt},
        {"serial/../ttyUSB0", std::nullopt},
        {path("dev/../dev/ttyUSB0"), std::nullopt},
        {path("ttyUSB0"), std::nullopt},
        {"..", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        std::string error;
        EXPECT_EQ(PinDevicePath(table(), c.given, error), c.device);
        EXPECT_EQ(error.empty(), c.device.has_value()) << error;
    }
}

} // namespace
