// kavo-cli simulate, frames and download end to end: the virtual controller on a real pseudo-terminal,
// entered in a temporary port folder, receiving downloads from the download worker and from kavo-cli.
#include "ChildProcess.h"
#include "DownloadWorker.h"
#include "PortNameTable.h"
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

class KavoCli : public ::testing::Test {
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
        args.insert(args.begin(), "simulate");
        return Run(std::move(args));
    }
    std::unique_ptr<ChildProcess> Run(std::vector<std::string> args) {
        args.insert(args.begin(), KAVO_CLI);
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

TEST_F(KavoCli, SimulateReceivesADownloadDumpsTheRecipeAndRemovesItsEntry) {
    auto sim = Start({"--once", "--dump", (m_dir / "got.aid").string()});
    ASSERT_TRUE(sim->started());
    const std::string name = ReadyName(*sim);
    ASSERT_FALSE(name.empty());
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

// Names a serial device of this machine answers to are never taken by default.
std::vector<std::string> NamesWithoutDevice(int count) {
    const PortNameTable builtIn("");
    std::vector<std::string> names;
    for (unsigned n = 1; names.size() < static_cast<std::size_t>(count); ++n) {
        if (!builtIn.devicePath("COM" + std::to_string(n))) {
            names.push_back("COM" + std::to_string(n));
        }
    }
    return names;
}

TEST_F(KavoCli, SimulateTakesTheLowestFreeNameAndLeavesOnSignals) {
    const auto free = NamesWithoutDevice(5);
    auto first = Start({});
    ASSERT_EQ(ReadyName(*first), free[0]);
    // A dangling entry left by a controller that was killed does not hold its name.
    fs::create_symlink("/dev/pts/does-not-exist", m_ports / free[1]);
    fs::create_symlink("/dev/null", m_ports / free[2]);
    // An unplugged adapter keeps its name.
    fs::create_symlink("/dev/serial/by-id/usb-unplugged", m_ports / free[3]);
    auto second = Start({});
    ASSERT_EQ(ReadyName(*second), free[1]);
    auto third = Start({});
    ASSERT_EQ(ReadyName(*third), free[4]);
    auto taken = Start({"--name", free[2]});
    EXPECT_EQ(taken->Wait(), 1);
    EXPECT_NE(taken->output().find(free[2] + " is already in the port folder"), std::string::npos)
        << taken->output();

    first->Signal(SIGINT);
    second->Signal(SIGTERM);
    third->Signal(SIGHUP);
    EXPECT_EQ(first->Wait(), 0) << first->output();
    EXPECT_EQ(second->Wait(), 0);
    EXPECT_EQ(third->Wait(), 0);
    for (int i : {0, 1, 4}) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(m_ports / free[i]))) << free[i];
    }
    EXPECT_TRUE(fs::is_symlink(m_ports / free[2])); // not ours: left alone
    EXPECT_TRUE(fs::is_symlink(m_ports / free[3]));
}

TEST_F(KavoCli, SimulateBadUsageExitsWithTwo) {
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

namespace {

// A recipe file of 360 bytes written straight from the arrays, positions 1..5.
void WriteAid(const fs::path& path, const LevelArray& levels, const MaskArray& masks) {
    std::ofstream out(path, std::ios::binary);
    for (const auto& cam : masks) {
        for (const auto& pos : cam) {
            for (std::uint16_t m : pos) {
                out.put(static_cast<char>(m & 0xFF)).put(static_cast<char>(m >> 8));
            }
        }
    }
    for (const auto& cam : levels) {
        for (const auto& pos : cam) {
            for (std::uint8_t l : pos) {
                out.put(static_cast<char>(l));
            }
        }
    }
}

struct Recipe {
    LevelArray levels = NewLevels();
    MaskArray masks = NewMasks();
    Recipe() {
        levels[0][0][2] = 0x80;
        masks[0][0][0] = 0x8001;
        levels[2][3][7] = 1;
        masks[1][1][1] = 0xADAD;
    }
};

TEST_F(KavoCli, FramesPrintsTheSendingOrderInHex) {
    const Recipe r;
    WriteAid(m_dir / "r.aid", r.levels, r.masks);
    auto p = Run({"frames", (m_dir / "r.aid").string()});
    EXPECT_EQ(p->Wait(), 0);
    std::string want;
    for (const DownloadFrame& f : BuildDownloadFrames(r.levels, r.masks)) {
        char line[32];
        std::snprintf(line, sizeof line, "%02X %02X %02X %02X %02X %02X\n", f[0], f[1], f[2], f[3], f[4],
                      f[5]);
        want += line;
    }
    EXPECT_EQ(p->output(), want);
    EXPECT_EQ(p->output().substr(0, 18), "AD 21 08 00 FF 7B\n");
}

TEST_F(KavoCli, FramesAndDownloadRefuseBadInput) {
    std::ofstream(m_dir / "short.aid", std::ios::binary) << std::string(359, '\0');
    const struct {
        std::vector<std::string> args;
        int exit;
        std::string message;
    } cases[] = {
        {{"frames", (m_dir / "none.aid").string()}, 1, (m_dir / "none.aid").string() + " was not found."},
        {{"frames", (m_dir / "short.aid").string()}, 1, "Unexpected file format."},
        {{"frames"}, 2, "Usage: kavo-cli frames FILE.aid"},
        {{"frames", "a.aid", "b.aid"}, 2, "Usage: kavo-cli frames FILE.aid"},
        {{"download", (m_dir / "none.aid").string()}, 2, "Usage: kavo-cli download"},
        {{"download", "--port", "COM1"}, 2, "Usage: kavo-cli download"},
        {{"download", "--port", "/dev/ttyS0", "x.aid"}, 2, "is not a port name"},
        {{"download", "--port", "COM200", (m_dir / "short.aid").string()}, 1, "Unexpected file format."},
        {{"download", "--port", "COM200", (m_dir / "none.aid").string()}, 1, "was not found."},
    };
    for (const auto& c : cases) {
        auto p = Run(c.args);
        EXPECT_EQ(p->Wait(), c.exit) << c.args[0] << " " << c.args.back();
        EXPECT_NE(p->output().find(c.message), std::string::npos) << p->output();
    }
}

TEST_F(KavoCli, DownloadToAPortThatIsNotThereFails) {
    Recipe r;
    WriteAid(m_dir / "r.aid", r.levels, r.masks);
    auto p = Run({"download", "--port", "COM200", "--no-beep", (m_dir / "r.aid").string()});
    EXPECT_EQ(p->Wait(), 1);
    EXPECT_NE(p->output().find("kavo-cli download: cannot open COM200: "), std::string::npos) << p->output();
}

TEST_F(KavoCli, DownloadSendsTheFileToTheVirtualController) {
    Recipe r;
    r.levels[1][4][3] = 7; // position 5 is not sent
    WriteAid(m_dir / "r.aid", r.levels, r.masks);
    auto sim = Start({"--once", "--dump", (m_dir / "got.aid").string()});
    const std::string name = ReadyName(*sim);
    ASSERT_FALSE(name.empty());
    auto dl = Run({"download", "--port", name, "--no-beep", (m_dir / "r.aid").string()});
    EXPECT_EQ(dl->Wait(), 0) << dl->output();
    EXPECT_EQ(dl->output(), "downloaded 192 frames to " + name + "\n");
    EXPECT_EQ(sim->Wait(), 0);
    EXPECT_NE(sim->output().find("\ndownload complete: 192 frames, 0 bad frames, "), std::string::npos)
        << sim->output();

    r.levels[1][4][3] = 255;
    WriteAid(m_dir / "want.aid", r.levels, r.masks);
    std::ifstream got(m_dir / "got.aid", std::ios::binary), want(m_dir / "want.aid", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(got), {}),
              std::string(std::istreambuf_iterator<char>(want), {}));
}

TEST_F(KavoCli, DownloadFailsWhenTheOtherEndGoesAway) {
    Recipe r;
    WriteAid(m_dir / "r.aid", r.levels, r.masks);
    auto sim = Start({});
    const std::string name = ReadyName(*sim);
    ASSERT_FALSE(name.empty());
    auto dl = Run({"download", "--port", name, "--no-beep", (m_dir / "r.aid").string()});
    std::string line;
    while (sim->ReadLine(&line) && line.rfind(" 10  ", 0) != 0) {
    }
    ASSERT_EQ(line.rfind(" 10  ", 0), 0u) << sim->output();
    sim->Signal(SIGKILL); // the terminal goes with it: the port hangs up
    EXPECT_EQ(dl->Wait(), 1);
    EXPECT_NE(dl->output().find("kavo-cli download: writing frame "), std::string::npos) << dl->output();
    EXPECT_NE(dl->output().find(" of 192 to " + name + " failed: "), std::string::npos) << dl->output();
}

TEST_F(KavoCli, DownloadStopsOnCtrlC) {
    Recipe r;
    WriteAid(m_dir / "r.aid", r.levels, r.masks);
    auto sim = Start({});
    const std::string name = ReadyName(*sim);
    ASSERT_FALSE(name.empty());
    auto dl = Run({"download", "--port", name, (m_dir / "r.aid").string()});
    std::string line;
    while (sim->ReadLine(&line) && line.rfind("  5  ", 0) != 0) {
    }
    dl->Signal(SIGINT);
    EXPECT_EQ(dl->Wait(), 1);
    EXPECT_NE(dl->output().find("kavo-cli download: interrupted after "), std::string::npos) << dl->output();
    sim->Signal(SIGTERM);
    EXPECT_EQ(sim->Wait(), 0);
    EXPECT_NE(sim->output().find("\ndownload incomplete: "), std::string::npos) << sim->output();
}

} // namespace
