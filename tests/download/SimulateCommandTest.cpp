// kavo-cli simulate end to end: the program on a real pseudo-terminal, entered in a temporary port folder,
// receiving a download from the download worker.
#include "ChildProcess.h"
#include "DownloadWorker.h"
#include "RecipeArrays.h"

#include <gtest/gtest.h>

#include <termios.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <regex>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class SimulateCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("kavo-sim-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_ports = m_dir / "ports";
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::unique_ptr<ChildProcess> Start(std::vector<std::string> args) {
        args.insert(args.begin(), {KAVO_CLI, "simulate"});
        return std::make_unique<ChildProcess>(args,
                                              std::vector<std::string>{"KAVO_PORTS_DIR=" + m_ports.string()});
    }
    // Reads the ready line and returns the name taken ("COM1"), empty when there was none.
    static std::string ReadyName(ChildProcess& p) {
        std::string line;
        std::smatch m;
        static const std::regex ready("^virtual controller (COM[0-9]+) -> (/dev/pts/[0-9]+) .*");
        if (!p.ReadLine(&line) || !std::regex_match(line, m, ready)) {
            ADD_FAILURE() << "no ready line: " << line;
            return {};
        }
        return m[1];
    }

    fs::path m_dir;
    fs::path m_ports;
};

TEST_F(SimulateCommand, ReceivesADownloadDumpsTheRecipeAndRemovesItsEntry) {
    auto sim = Start({"--once", "--dump", (m_dir / "got.aid").string()});
    ASSERT_TRUE(sim->started());
    const std::string name = ReadyName(*sim);
    ASSERT_EQ(name, "COM1");
    const fs::path link = m_ports / name;
    ASSERT_TRUE(fs::is_symlink(link));

    LevelArray levels = NewLevels();
    MaskArray masks = NewMasks();
    levels[0][0][2] = 0x80;
    masks[0][0][0] = 0x8001;
    masks[2][3][7] = 0x00AD; // a header byte inside a value must not upset the receiver
    levels[1][4][0] = 9;     // position 5 is not sent: the dump holds 255 there

    const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    DownloadWorker::Options fast;
    fast.frameInterval = 2ms;
    fast.beepLength = 1ms;
    DownloadWorker worker(nullptr, fast);
    std::promise<DownloadResult> done;
    DownloadCallbacks cb;
    cb.finished = [&done](const DownloadResult& r) { done.set_value(r); };
    ASSERT_EQ(
        worker.start(
            {levels, masks, [fd](const std::uint8_t* d, int n) { return int(::write(fd, d, n)); }, {}}, cb),
        DownloadWorker::StartResult::Started);
    auto result = done.get_future();
    ASSERT_EQ(result.wait_for(30s), std::future_status::ready);
    EXPECT_TRUE(result.get().ok);
    worker.stop();

    EXPECT_EQ(sim->Wait(), 0) << sim->output();
    ::close(fd);
    const std::string& out = sim->output();
    EXPECT_NE(out.find("\n  1  C1 P1  level ch1  255     AD 21 08 00 FF 7B  first\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("\n 33  C1 P1  mask  ch1  0x8001  AD 21 28 80 01 25  +"), std::string::npos) << out;
    EXPECT_NE(out.find("\ndownload complete: 192 frames, 0 bad frames, gaps "), std::string::npos) << out;
    EXPECT_EQ(out.find("\nbad frame:"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

    std::ifstream in(m_dir / "got.aid", std::ios::binary);
    const std::vector<std::uint8_t> aid(std::istreambuf_iterator<char>(in), {});
    ASSERT_EQ(aid.size(), 360u);
    std::vector<std::uint8_t> want;
    for (int part = 0; part < 2; ++part) {
        for (int c = 0; c < 3; ++c) {
            for (int p = 0; p < 5; ++p) {
                for (int k = 0; k < 8; ++k) {
                    if (part == 0) {
                        const std::uint16_t m = p < 4 ? masks[c][p][k] : 0;
                        want.push_back(m & 0xFF);
                        want.push_back(m >> 8);
                    } else {
                        want.push_back(p < 4 ? levels[c][p][k] : 255);
                    }
                }
            }
        }
    }
    EXPECT_EQ(aid, want);
}

TEST_F(SimulateCommand, TakesTheLowestFreeNameAndLeavesOnSignals) {
    auto first = Start({});
    ASSERT_EQ(ReadyName(*first), "COM1");
    // A dangling entry left by a controller that was killed does not hold its name.
    fs::create_symlink("/dev/pts/does-not-exist", m_ports / "COM2");
    fs::create_symlink("/dev/null", m_ports / "COM3");
    auto second = Start({});
    ASSERT_EQ(ReadyName(*second), "COM2");
    auto third = Start({});
    ASSERT_EQ(ReadyName(*third), "COM4");
    auto taken = Start({"--name", "COM3"});
    EXPECT_EQ(taken->Wait(), 1);
    EXPECT_NE(taken->output().find("COM3 is already in the port folder"), std::string::npos)
        << taken->output();

    first->Signal(SIGINT);
    second->Signal(SIGTERM);
    third->Signal(SIGHUP);
    EXPECT_EQ(first->Wait(), 0) << first->output();
    EXPECT_EQ(second->Wait(), 0);
    EXPECT_EQ(third->Wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_ports / "COM1")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_ports / "COM2")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_ports / "COM4")));
    EXPECT_TRUE(fs::is_symlink(m_ports / "COM3")); // not ours: left alone
}

TEST_F(SimulateCommand, BadUsageExitsWithTwo) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--name", "COM255"},
                                                 {"--name", "COM01"},
                                                 {"--name", "ttyS0"},
                                                 {"--dump"},
                                                 {"--bogus"}}) {
        auto p = Start(args);
        EXPECT_EQ(p->Wait(), 2) << args[0] << ": " << p->output();
    }
    EXPECT_FALSE(fs::exists(m_ports));
}

} // namespace
