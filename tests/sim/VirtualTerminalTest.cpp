// The virtual controller's line: a port that opens the terminal's device reaches the controller, raw, and
// the line outlives the port's close.
#include "VirtualTerminal.h"
#include "DownloadFrame.h"
#include "VirtualController.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// Reads n bytes from the master, waiting at most a bound only a hang reaches; fewer when it ends.
std::vector<std::uint8_t> ReadMaster(int master, std::size_t n) {
    std::vector<std::uint8_t> got;
    while (got.size() < n) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) {
            break;
        }
        std::uint8_t buf[256];
        const ssize_t r = ::read(master, buf, sizeof buf);
        if (r <= 0) {
            break;
        }
        got.insert(got.end(), buf, buf + r);
    }
    return got;
}

} // namespace

TEST(VirtualTerminal, APortOnItsDeviceReachesTheControllerAcrossCloses) {
    VirtualTerminal terminal;
    std::string error;
    ASSERT_TRUE(terminal.Open(&error)) << error;
    ASSERT_GE(terminal.MasterFd(), 0);
    ASSERT_EQ(terminal.Device().rfind("/dev/pts/", 0), 0u) << terminal.Device();

    VirtualController controller;
    // Two senders one after the other, as two downloads open and close the port: the second finds the line
    // still there, and nothing sent is lost or changed (raw: CR, LF, XON and XOFF stay what they are).
    using kavo::download::FrameAddress;
    const DownloadFrame frames[] = {MakeDownloadFrame(1, FrameAddress(1, 1, true), 0x0D0A),
                                    MakeDownloadFrame(8, FrameAddress(2, 3, true), 0x1311)};
    for (const DownloadFrame& f : frames) {
        const int port = ::open(terminal.Device().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(port, 0) << std::strerror(errno);
        termios tio{};
        ASSERT_EQ(::tcgetattr(port, &tio), 0);
        EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
        ASSERT_EQ(::write(port, f.data(), f.size()), static_cast<ssize_t>(f.size()));
        ::tcdrain(port);
        ::close(port);
        const std::vector<std::uint8_t> got = ReadMaster(terminal.MasterFd(), f.size());
        ASSERT_EQ(got, std::vector<std::uint8_t>(f.begin(), f.end()));
        const auto events = controller.Feed(got.data(), got.size(), VirtualController::Clock::now());
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.front().kind, VirtualController::Event::Frame);
    }
    EXPECT_EQ(controller.recipe().m_stepMasks[0][0][0], 0x0D0A);
    EXPECT_EQ(controller.recipe().m_stepMasks[1][2][7], 0x1311);
}
