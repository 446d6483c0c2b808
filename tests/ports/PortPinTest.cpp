// "Keep this adapter's name": the port folder entry becomes a link to the adapter's by-id path, over a fake
// machine (FakeAdapters.h).
#include "PortPin.h"
#include "FakeAdapters.h"

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

} // namespace
