// kavo-cli simulate, frames and download end to end: the virtual controller on a real pseudo-terminal,
// entered in a temporary port folder, receiving downloads from the download worker and from kavo-cli.
#include "ChildProcess.h"
#include "DownloadWorker.h"
#include "PortNameTable.h"
#include "PtyPair.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <gtest/gtest.h>

#include <fcntl.h>

#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The terminal as the port would set it: raw 8-bit, no translation.
void MakeRaw(int fd) {
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
}

// A download that takes a fraction of a second: frames 2 ms apart, a 1 ms beep.
DownloadWorker::Options FastPacing() {
    DownloadWorker::Options fast;
    fast.frameInterval = std::chrono::milliseconds(2);
    fast.beepLength = std::chrono::milliseconds(1);
    return fast;
}

class KavoCli : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("kavo-sim-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_ports = m_dir / "ports";
        m_state = m_dir / "state";
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::unique_ptr<ChildProcess> Start(std::vector<std::string> args) {
        args.insert(args.begin(), "simulate");
        return Run(std::move(args));
    }
    std::unique_ptr<ChildProcess> Run(std::vector<std::string> args) {
        args.insert(args.begin(), KAVO_CLI);
        // The journal goes to the test's own state folder.
        return std::make_unique<ChildProcess>(args,
                                              std::vector<std::string>{"KAVO_PORTS_DIR=" + m_ports.string(),
                                                                       "XDG_STATE_HOME=" + m_state.string()});
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
    fs::path m_state;
};

TEST_F(KavoCli, SimulateReceivesADownloadDumpsTheRecipeAndRemovesItsEntry) {
    auto sim = Start({"--once", "--dump", (m_dir / "got.aid").string()});
    ASSERT_TRUE(sim->started());
    const std::string name = ReadyName(*sim);
    ASSERT_FALSE(name.empty());
    const fs::path link = m_ports / name;
    ASSERT_TRUE(fs::is_symlink(link));

    Recipe recipe;
    auto& levels = recipe.m_levels;
    auto& masks = recipe.m_stepMasks;
    levels[0][0][2] = 0x80;
    masks[0][0][0] = 0x8001;
    masks[2][3][7] = 0x00AD; // a header byte inside a value must not upset the receiver
    levels[1][4][0] = 9;     // position 5 is not sent: the dump holds 255 there

    const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    MakeRaw(fd);
    DownloadWorker worker(nullptr, FastPacing());
    std::promise<DownloadResult> done;
    DownloadCallbacks cb;
    cb.finished = [&done](const DownloadResult& r) { done.set_value(r); };
    ASSERT_EQ(
        worker.start({recipe, [fd](const std::uint8_t* d, int n) { return int(::write(fd, d, n)); }, {}}, cb),
        DownloadStartResult::Started);
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
    // Sent 2 ms apart: the frames came closer than the controller takes them (how many depends on the load).
    const std::regex summary(
        "\ndownload complete: 192 frames, 0 bad frames, [0-9]+ closer than 50 ms to the frame "
        "before \\(under 45 ms as read\\): [0-9, -]+, gaps [0-9.]+\\.\\.[0-9.]+ ms as read, "
        "total [0-9.]+ ms \\(first frame to last\\)\n");
    EXPECT_TRUE(std::regex_search(out, summary)) << out;
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

// A dump that can't be written is refused at start-up, before the port is entered, not after a download.
TEST_F(KavoCli, SimulateRefusesADumpItCannotWrite) {
    std::ofstream(m_dir / "file") << "x";
    fs::create_directories(m_dir / "folder.aid");
    ASSERT_EQ(::mkfifo((m_dir / "pipe.aid").c_str(), 0644), 0);
    const bool device = ::mknod((m_dir / "null.aid").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    struct Case {
        fs::path dump;
        std::string message;
    };
    std::vector<Case> cases = {
        {m_dir / "missing" / "got.aid", "the folder " + (m_dir / "missing").string() + " does not exist"},
        {m_dir / "file" / "got.aid", (m_dir / "file").string() + " is not a folder"},
        {m_dir / "folder.aid", "it is a folder"},
        {m_dir / "pipe.aid", "it is a FIFO, not a regular file"},
    };
    if (device) {
        cases.push_back({m_dir / "null.aid", "it is a device, not a regular file"});
    }
    for (const auto& c : cases) {
        auto p = Start({"--once", "--dump", c.dump.string()});
        EXPECT_EQ(p->Wait(5s), 1) << p->output();
        EXPECT_EQ(p->output(),
                  "kavo-cli simulate: cannot write " + c.dump.string() + ": " + c.message + "\n");
    }
    EXPECT_FALSE(fs::exists(m_ports));
}

// On a signal it says what became of its entry: removed, already gone, or left alone because another
// program has put its own device under that name since.
TEST_F(KavoCli, SimulateSaysWhatBecameOfItsEntry) {
    const struct {
        const char* what;
        const char* replacement; // the entry's new target; nullptr: removed; "": left as it is
        std::string said;
    } cases[] = {
        {"ours", "", " removed"},
        {"removed", nullptr, " was already gone from the port folder"},
        {"replaced", "/dev/null", " left in place: it now names /dev/null, not this controller"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto sim = Start({});
        const std::string name = ReadyName(*sim);
        ASSERT_FALSE(name.empty());
        const fs::path link = m_ports / name;
        if (c.replacement == nullptr || *c.replacement != '\0') {
            fs::remove(link);
        }
        if (c.replacement != nullptr && *c.replacement != '\0') {
            fs::create_symlink(c.replacement, link);
        }
        sim->Signal(SIGINT);
        EXPECT_EQ(sim->Wait(), 0);
        EXPECT_NE(sim->output().find("ended by signal 2; " + name + c.said + "\n"), std::string::npos)
            << sim->output();
        EXPECT_EQ(fs::is_symlink(link), c.replacement != nullptr && *c.replacement != '\0');
        fs::remove(link);
    }
}

} // namespace

namespace {

// A recipe file of 360 bytes written straight from the arrays, positions 1..5.
void WriteAid(const fs::path& path, const Recipe& r) {
    std::ofstream out(path, std::ios::binary);
    for (const auto& cam : r.m_stepMasks) {
        for (const auto& pos : cam) {
            for (std::uint16_t m : pos) {
                out.put(static_cast<char>(m & 0xFF)).put(static_cast<char>(m >> 8));
            }
        }
    }
    for (const auto& cam : r.m_levels) {
        for (const auto& pos : cam) {
            for (std::uint8_t l : pos) {
                out.put(static_cast<char>(l));
            }
        }
    }
}

struct SampleRecipe : Recipe {
    SampleRecipe() {
        m_levels[0][0][2] = 0x80;
        m_stepMasks[0][0][0] = 0x8001;
        m_levels[2][3][7] = 1;
        m_stepMasks[1][1][1] = 0xADAD;
    }
};

TEST_F(KavoCli, FramesPrintsTheSendingOrderInHex) {
    const SampleRecipe r;
    WriteAid(m_dir / "r.aid", r);
    auto p = Run({"frames", (m_dir / "r.aid").string()});
    EXPECT_EQ(p->Wait(), 0);
    std::string want;
    for (const DownloadFrame& f : BuildDownloadFrames(r.m_levels, r.m_stepMasks)) {
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
        {{"frames", (m_dir / "short.aid").string()},
         1,
         (m_dir / "short.aid").string() + " is 359 bytes; a recipe file is 360 bytes."},
        {{"frames"}, 2, "Usage: kavo-cli frames FILE.aid"},
        {{"frames", "a.aid", "b.aid"}, 2, "Usage: kavo-cli frames FILE.aid"},
        {{"download", (m_dir / "none.aid").string()}, 2, "Usage: kavo-cli download"},
        {{"download", "--port", "COM1"}, 2, "Usage: kavo-cli download"},
        {{"download", "--port", "/dev/ttyS0", "x.aid"}, 2, "is not a port name"},
        {{"download", "--port", "COM200", (m_dir / "short.aid").string()},
         1,
         (m_dir / "short.aid").string() + " is 359 bytes; a recipe file is 360 bytes."},
        {{"download", "--port", "COM200", (m_dir / "none.aid").string()}, 1, "was not found."},
    };
    for (const auto& c : cases) {
        auto p = Run(c.args);
        EXPECT_EQ(p->Wait(), c.exit) << c.args[0] << " " << c.args.back();
        EXPECT_NE(p->output().find(c.message), std::string::npos) << p->output();
    }
}

TEST_F(KavoCli, DownloadToAPortThatIsNotThereFails) {
    SampleRecipe r;
    WriteAid(m_dir / "r.aid", r);
    auto p = Run({"download", "--port", "COM200", "--no-beep", (m_dir / "r.aid").string()});
    EXPECT_EQ(p->Wait(), 1);
    EXPECT_NE(p->output().find("kavo-cli download: cannot open COM200: "), std::string::npos) << p->output();
}

TEST_F(KavoCli, DownloadSendsTheFileToTheVirtualController) {
    SampleRecipe r;
    r.m_levels[1][4][3] = 7; // position 5 is not sent
    WriteAid(m_dir / "r.aid", r);
    auto sim = Start({"--once", "--dump", (m_dir / "got.aid").string()});
    const std::string name = ReadyName(*sim);
    ASSERT_FALSE(name.empty());
    auto dl = Run({"download", "--port", name, "--no-beep", (m_dir / "r.aid").string()});
    EXPECT_EQ(dl->Wait(), 0) << dl->output();
    EXPECT_EQ(dl->output(), "downloaded 192 frames to " + name + "\n");
    EXPECT_EQ(sim->Wait(), 0);
    EXPECT_NE(sim->output().find("\ndownload complete: 192 frames, 0 bad frames, "), std::string::npos)
        << sim->output();

    r.m_levels[1][4][3] = 255;
    WriteAid(m_dir / "want.aid", r);
    std::ifstream got(m_dir / "got.aid", std::ios::binary), want(m_dir / "want.aid", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(got), {}),
              std::string(std::istreambuf_iterator<char>(want), {}));
}

TEST_F(KavoCli, DownloadFailsWhenTheOtherEndGoesAway) {
    SampleRecipe r;
    WriteAid(m_dir / "r.aid", r);
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

// The controller stopped reading and the line is full: kavo-cli download does not wait for ever; the first
// frame's write fails at its deadline (about 2 s), it says which frame and why, and journals the failure.
TEST_F(KavoCli, DownloadToALineThatStoppedDrainingEndsWithTheCause) {
    SampleRecipe r;
    WriteAid(m_dir / "r.aid", r);
    PtyPair pty({.holdSlave = true});
    ASSERT_TRUE(pty.ok());
    MakeRaw(pty.slave);
    ASSERT_TRUE(pty.FillUntilStalled());
    fs::create_directories(m_ports);
    fs::create_symlink(pty.slaveName, m_ports / "COM7");
    auto dl = Run({"download", "--port", "COM7", "--no-beep", (m_dir / "r.aid").string()});
    EXPECT_EQ(dl->Wait(), 1) << dl->output();
    EXPECT_NE(dl->output().find("kavo-cli download: writing frame 1 of 192 to COM7 failed: the line stopped "
                                "draining: the controller or the adapter is not taking the data\n"),
              std::string::npos)
        << dl->output();
    auto json = Run({"log", "--json"});
    EXPECT_EQ(json->Wait(), 0);
    for (const std::string field : {"\"result\":\"failed\"", "\"frames\":0", "\"failed_frame\":1"}) {
        EXPECT_NE(json->output().find(field), std::string::npos) << field << " in " << json->output();
    }
}

TEST_F(KavoCli, DownloadStopsOnCtrlC) {
    SampleRecipe r;
    WriteAid(m_dir / "r.aid", r);
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

// Sends a recipe to the controller's port with the download worker, fast; the writer fails after
// stopAfter frames when stopAfter is set. Returns the frames written.
int SendFast(const fs::path& port, const Recipe& r, int stopAfter = 0) {
    const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        ADD_FAILURE() << "cannot open " << port;
        return 0;
    }
    MakeRaw(fd);
    DownloadWorker worker(nullptr, FastPacing());
    std::promise<DownloadResult> done;
    DownloadCallbacks cb;
    cb.finished = [&done](const DownloadResult& res) { done.set_value(res); };
    int calls = 0;
    auto write = [fd, stopAfter, &calls](const std::uint8_t* d, int n) {
        return stopAfter > 0 && ++calls > stopAfter ? -1 : int(::write(fd, d, n));
    };
    EXPECT_EQ(worker.start({r, write, {}}, cb), DownloadStartResult::Started);
    auto result = done.get_future();
    int sent = 0;
    if (result.wait_for(30s) == std::future_status::ready) {
        sent = result.get().framesSent;
    } else {
        ADD_FAILURE() << "the download did not finish";
    }
    worker.stop();
    ::tcdrain(fd);
    ::close(fd);
    return sent;
}

std::string FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A download cut short and started again at once: the controller reports the first as incomplete and
// counts the second from its own first frame, so the dump holds the second recipe only.
TEST_F(KavoCli, SimulateCountsARestartedDownloadFromItsFirstFrame) {
    auto sim = Start({"--once", "--dump", (m_dir / "got.aid").string()});
    const std::string name = ReadyName(*sim);
    ASSERT_FALSE(name.empty());
    SampleRecipe first;
    for (auto& cam : first.m_levels) {
        for (auto& pos : cam) {
            std::fill(pos.begin(), pos.end(), 1);
        }
    }
    SampleRecipe second;
    second.m_levels[2][3][7] = 77; // sent as frame 192
    ASSERT_EQ(SendFast(m_ports / name, first, 50), 50);
    ASSERT_EQ(SendFast(m_ports / name, second), 192);

    EXPECT_EQ(sim->Wait(), 0) << sim->output();
    const std::string& out = sim->output();
    const auto incomplete =
        out.find("\ndownload incomplete: 50 of 192 frames, missing 51-192, 0 bad frames, ");
    const auto complete = out.find("\ndownload complete: 192 frames, 0 bad frames, ");
    ASSERT_NE(incomplete, std::string::npos) << out;
    ASSERT_NE(complete, std::string::npos) << out;
    EXPECT_LT(incomplete, complete);
    EXPECT_EQ(out.find("out of order"), std::string::npos) << out;
    EXPECT_NE(out.find("\nwrote " + (m_dir / "got.aid").string() + " (360 bytes)\n"), std::string::npos)
        << out;

    WriteAid(m_dir / "want.aid", second); // position 5 of SampleRecipe is new-recipe values
    EXPECT_EQ(FileBytes(m_dir / "got.aid"), FileBytes(m_dir / "want.aid"));
}

// The dump's folder went away during the run: the recipe file's own message, exit 1.
TEST_F(KavoCli, SimulateReportsADumpThatFailsAfterTheDownload) {
    fs::create_directories(m_dir / "out");
    const fs::path dump = m_dir / "out" / "got.aid";
    auto sim = Start({"--once", "--dump", dump.string()});
    const std::string name = ReadyName(*sim);
    ASSERT_FALSE(name.empty());
    fs::remove_all(m_dir / "out");
    ASSERT_EQ(SendFast(m_ports / name, SampleRecipe()), 192);
    EXPECT_EQ(sim->Wait(), 1) << sim->output();
    EXPECT_NE(sim->output().find("\nkavo-cli simulate: " + dump.string() + " contains an invalid path.\n"),
              std::string::npos)
        << sim->output();
    EXPECT_FALSE(fs::exists(dump));
}

// Ctrl+C after the last frame only cuts the beep short: every frame was written, so it succeeded.
TEST_F(KavoCli, DownloadInterruptedDuringTheBeepSucceeds) {
    SampleRecipe r;
    WriteAid(m_dir / "r.aid", r);
    auto sim = Start({});
    const std::string name = ReadyName(*sim);
    ASSERT_FALSE(name.empty());
    auto dl = Run({"download", "--port", name, (m_dir / "r.aid").string()});
    std::string line;
    while (sim->ReadLine(&line) && line.rfind("download complete: ", 0) != 0) {
    }
    ASSERT_EQ(line.rfind("download complete: 192 frames", 0), 0u) << sim->output();
    dl->Signal(SIGINT); // within the one-second beep that follows the last frame
    EXPECT_EQ(dl->Wait(), 0) << dl->output();
    EXPECT_NE(
        dl->output().find("downloaded 192 frames to " + name + " (interrupted: the beep was cut short)\n"),
        std::string::npos)
        << dl->output();
    sim->Signal(SIGTERM);
    EXPECT_EQ(sim->Wait(), 0);
}

// Frames with sending-order numbers sent, in this order, to the controller's port, 2 ms apart.
void SendNumbered(const fs::path& port, const Recipe& r, const std::vector<int>& sent) {
    const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0) << port;
    MakeRaw(fd);
    const auto frames = BuildDownloadFrames(r.m_levels, r.m_stepMasks);
    for (int n : sent) {
        ASSERT_EQ(::write(fd, frames[n - 1].data(), 6), 6);
        std::this_thread::sleep_for(2ms);
    }
    ::tcdrain(fd);
    ::close(fd);
}

// Frame 99 sent twice and frame 100 lost: 192 frames arrive, but not the download. No recipe is dumped (it
// would hold a value that never came), the summary names the frames, and --once fails.
TEST_F(KavoCli, SimulateOnceFailsOnADownloadWithFramesMissingOrRepeated) {
    auto sim = Start({"--once", "--dump", (m_dir / "got.aid").string()});
    const std::string name = ReadyName(*sim);
    ASSERT_FALSE(name.empty());
    std::vector<int> sent;
    for (int n = 1; n <= 192; ++n) {
        sent.push_back(n == 100 ? 99 : n);
    }
    SendNumbered(m_ports / name, SampleRecipe(), sent);
    EXPECT_EQ(sim->Wait(), 1) << sim->output();
    const std::string& out = sim->output();
    EXPECT_NE(out.find("\n100  C2 P1  mask  ch3  "), std::string::npos) << out;
    EXPECT_NE(out.find("(repeated: frame 99 of the sending order)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\ndownload incomplete: 191 of 192 frames, missing 100, repeated 99, 0 bad frames, "),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("download complete"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(m_dir / "got.aid"));
}

// Opens pseudo-terminals until one gets the number of device, which its owner has given up: another program
// taking the terminal a killed controller had. Returns the pairs opened (the last one is that terminal), or
// an empty list when the number did not come free in time.
std::vector<std::unique_ptr<PtyPair>> TakeTerminal(const std::string& device) {
    std::vector<std::unique_ptr<PtyPair>> held;
    const auto end = std::chrono::steady_clock::now() + 10s;
    const int wanted = std::stoi(device.substr(device.rfind('/') + 1));
    while (std::chrono::steady_clock::now() < end) {
        auto pty = std::make_unique<PtyPair>(PtyPair::Options{.holdSlave = true});
        if (!pty->ok()) {
            break;
        }
        const int got = std::stoi(pty->slaveName.substr(pty->slaveName.rfind('/') + 1));
        if (got == wanted) {
            held.push_back(std::move(pty));
            return held;
        }
        if (got < wanted) {
            held.push_back(std::move(pty)); // keeps lower free numbers from being handed out again
        } else {
            std::this_thread::sleep_for(20ms); // not free yet: the killed program's terminal is still going
        }
    }
    return {};
}

// The virtual controller holds both ends of its terminal: it is the port's peer, not a program using it. The
// doctor finds nothing against the name (exit 0), ports names no holder, and --unpin leaves the running
// controller's entry alone and says what it is.
TEST_F(KavoCli, TheVirtualControllerIsThePortsPeerNotItsUser) {
    auto sim = Start({});
    const std::string name = ReadyName(*sim);
    ASSERT_FALSE(name.empty());
    auto doctor = Run({"doctor", name});
    EXPECT_EQ(doctor->Wait(), 0) << doctor->output();
    EXPECT_NE(doctor->output().find("No problem found"), std::string::npos) << doctor->output();
    auto ports = Run({"ports"});
    EXPECT_EQ(ports->Wait(), 0);
    const std::regex row("(^|\\n)" + name + " +/dev/pts/[0-9]+ .* -\\n");
    EXPECT_TRUE(std::regex_search(ports->output(), row)) << ports->output();
    auto unpin = Run({"ports", "--unpin", name});
    EXPECT_EQ(unpin->Wait(), 1);
    EXPECT_NE(unpin->output().find(name + " is not a pin: it is a link to /dev/pts/"), std::string::npos)
        << unpin->output();
    EXPECT_TRUE(fs::is_symlink(m_ports / name));
    sim->Signal(SIGINT);
    EXPECT_EQ(sim->Wait(), 0);
}

// What the system names reaches the terminal escaped: here the holder's program name carries an escape
// sequence (a program may name itself anything).
TEST_F(KavoCli, PortsAndDoctorShowSystemNamesSafely) {
    PtyPair pty(PtyPair::Options{false, true}); // this test: the peer
    ASSERT_TRUE(pty.ok());
    fs::create_directories(m_ports);
    fs::create_symlink(pty.slaveName, m_ports / "COM9");
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::close(pty.master);
        ::prctl(PR_SET_NAME, "e\x1b[2J\x07vil");
        ::pause();
        ::_exit(0);
    }
    ASSERT_GT(holder, 0);
    const std::string shown = "e\\x1b[2J\\x07vil (PID " + std::to_string(holder) + ")";
    for (const std::vector<std::string>& args : {std::vector<std::string>{"ports"}, {"doctor", "COM9"}}) {
        SCOPED_TRACE(args.front());
        std::string out;
        // The child names itself after the fork: wait until it has.
        for (int round = 0; round < 50 && out.find(shown) == std::string::npos; ++round) {
            auto p = Run(args);
            p->Wait();
            out = p->output();
        }
        EXPECT_NE(out.find(shown), std::string::npos) << out;
        EXPECT_EQ(out.find('\x1b'), std::string::npos) << out;
    }
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
}

// A controller killed with SIGKILL leaves its entry COMn -> /dev/pts/N. Once another program has that
// terminal, the entry must lead nowhere: not listed, refused at open (nothing written into that terminal),
// and free for the next controller, which takes it over.
TEST_F(KavoCli, AKilledControllersEntryLeadsNowhere) {
    auto sim = Start({});
    std::string line;
    ASSERT_TRUE(sim->ReadLine(&line));
    std::smatch m;
    const std::regex ready("^virtual controller (COM[0-9]+) -> (/dev/pts/[0-9]+) .*");
    ASSERT_TRUE(std::regex_match(line, m, ready)) << line;
    const std::string name = m[1];
    const std::string device = m[2];
    sim->Signal(SIGKILL);
    EXPECT_EQ(sim->Wait(), 128 + SIGKILL);
    const fs::path link = m_ports / name;
    ASSERT_TRUE(fs::is_symlink(link)); // nothing could remove it

    const auto terminals = TakeTerminal(device);
    if (terminals.empty()) {
        GTEST_SKIP() << device << " did not come free for this test";
    }
    const PtyPair& other = *terminals.back();
    ASSERT_EQ(fs::read_symlink(link), other.slaveName);

    auto ports = Run({"ports"});
    EXPECT_EQ(ports->Wait(), 0);
    EXPECT_EQ(ports->output().find(name + " "), std::string::npos) << ports->output();

    WriteAid(m_dir / "r.aid", SampleRecipe());
    auto dl = Run({"download", "--port", name, "--no-beep", (m_dir / "r.aid").string()});
    EXPECT_EQ(dl->Wait(), 1) << dl->output();
    EXPECT_NE(dl->output().find("kavo-cli download: cannot open " + name + ": "), std::string::npos)
        << dl->output();
    int arrived = -1;
    ASSERT_EQ(::ioctl(other.master, FIONREAD, &arrived), 0);
    EXPECT_EQ(arrived, 0);

    // Two controllers asking for the name at once: one takes it, the other is told it is taken.
    auto first = Start({"--name", name});
    auto second = Start({"--name", name});
    std::string got[2];
    const bool ready0 =
        first->ReadLine(&got[0]) && got[0].rfind("virtual controller " + name + " -> ", 0) == 0;
    const bool ready1 =
        second->ReadLine(&got[1]) && got[1].rfind("virtual controller " + name + " -> ", 0) == 0;
    EXPECT_NE(ready0, ready1) << got[0] << "\n" << got[1];
    ChildProcess& winner = ready0 ? *first : *second;
    ChildProcess& loser = ready0 ? *second : *first;
    EXPECT_EQ(loser.Wait(), 1);
    EXPECT_NE(loser.output().find(name + " is already in the port folder"), std::string::npos)
        << loser.output();
    EXPECT_NE(fs::read_symlink(link), other.slaveName);
    auto listed = Run({"ports"});
    EXPECT_EQ(listed->Wait(), 0);
    EXPECT_NE(listed->output().find(name + " "), std::string::npos) << listed->output();

    winner.Signal(SIGINT);
    EXPECT_EQ(winner.Wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_FALSE(fs::exists(m_ports / (name + ".lock")));
}

} // namespace

namespace {

// kavo-cli download journals what it did; kavo-cli log prints it as a table and as records. A file name that
// is not UTF-8 keeps its bytes in the record and shows them as \xNN.
TEST_F(KavoCli, DownloadIsJournalledAndLogPrintsIt) {
    SampleRecipe r;
    const fs::path aid = m_dir / "r\xff.aid";
    WriteAid(aid, r);
    auto empty = Run({"log"});
    EXPECT_EQ(empty->Wait(), 0);
    EXPECT_NE(empty->output().find("nothing journalled yet"), std::string::npos) << empty->output();

    auto sim = Start({"--once"});
    const std::string name = ReadyName(*sim);
    ASSERT_FALSE(name.empty());
    auto dl = Run({"download", "--port", name, "--no-beep", aid.string()});
    EXPECT_EQ(dl->Wait(), 0) << dl->output();
    EXPECT_EQ(sim->Wait(), 0);

    auto table = Run({"log"});
    EXPECT_EQ(table->Wait(), 0);
    const std::regex row(".*download +" + name + " +192 +[0-9.]+ s +\\S+ +complete +" + m_dir.string() +
                         "/r\\\\xff\\.aid  sha256:[0-9a-f]{12}\\n");
    EXPECT_TRUE(std::regex_search(table->output(), row)) << table->output();

    auto json = Run({"log", "--json", "--last", "1"});
    EXPECT_EQ(json->Wait(), 0);
    const std::string& line = json->output();
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
    std::ifstream file(aid, std::ios::binary);
    const QByteArray bytes = QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(file), {}));
    const std::string sha = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
    for (const std::string& field : std::vector<std::string>{
             "\"kind\":\"download\"", "\"result\":\"complete\"", "\"frames\":192",
             "\"port\":\"" + name + "\"", "\"sha256\":\"" + sha + "\"", "\"by_id\":\"\"",
             "\"recipe\":\"" + m_dir.string() + "/r\\udcff.aid\"", "\"device\":\"/dev/pts/"}) {
        EXPECT_NE(line.find(field), std::string::npos) << field << " in " << line;
    }
    auto bad = Run({"log", "--last", "x"});
    EXPECT_EQ(bad->Wait(), 2);
}

// Single frames outside a download set the simulator's registers; --dump writes them when Ctrl+C ends it.
TEST_F(KavoCli, SimulateKeepsLiveFramesInItsRegistersAndDumpsThemAtCtrlC) {
    auto sim = Start({"--dump", (m_dir / "regs.aid").string()});
    std::string ready;
    ASSERT_TRUE(sim->ReadLine(&ready));
    std::smatch m;
    ASSERT_TRUE(
        std::regex_match(ready, m, std::regex("^virtual controller (COM[0-9]+) -> (/dev/pts/[0-9]+) .*")))
        << ready;
    const int fd = ::open(m[2].str().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    MakeRaw(fd);
    const DownloadFrame frames[] = {MakeSlotFrame(kavo::download::FrameSlot(2, 3, 4, false), 77),
                                    MakeSlotFrame(kavo::download::FrameSlot(3, 1, 8, true), 0x8001)};
    for (const DownloadFrame& f : frames) {
        ASSERT_EQ(::write(fd, f.data(), f.size()), 6);
        std::string line;
        ASSERT_TRUE(sim->ReadLine(&line));
        EXPECT_EQ(line.rfind("live  C", 0), 0u) << line; // not a download's frame
    }
    ::close(fd);
    sim->Signal(SIGINT);
    EXPECT_EQ(sim->Wait(), 0);
    EXPECT_NE(sim->output().find("wrote "), std::string::npos) << sim->output();
    EXPECT_EQ(sim->output().find("download"), std::string::npos) << sim->output();

    std::ifstream got(m_dir / "regs.aid", std::ios::binary);
    const std::string image(std::istreambuf_iterator<char>(got), {});
    ASSERT_EQ(image.size(), 360u);
    // Masks first (camera, position, channel order, 16-bit little-endian), then levels.
    const auto mask = [&](int c, int p, int k) {
        const std::size_t i = 2 * static_cast<std::size_t>(((c - 1) * 5 + (p - 1)) * 8 + (k - 1));
        return static_cast<unsigned>(static_cast<unsigned char>(image[i]) |
                                     static_cast<unsigned char>(image[i + 1]) << 8);
    };
    const auto level = [&](int c, int p, int k) {
        return static_cast<unsigned char>(
            image[240 + static_cast<std::size_t>(((c - 1) * 5 + (p - 1)) * 8 + (k - 1))]);
    };
    EXPECT_EQ(level(2, 3, 4), 77);
    EXPECT_EQ(level(2, 3, 5), 255);
    EXPECT_EQ(mask(3, 1, 8), 0x8001u);
    EXPECT_EQ(mask(3, 1, 7), 0u);
}

TEST_F(KavoCli, VersionNamesTheProgramAndTheProjectVersion) {
    auto p = Run({"--version"});
    EXPECT_EQ(p->Wait(), 0);
    EXPECT_EQ(p->output(), std::string("kavo-cli ") + KAVO_VERSION + "\n");
}

// A journal line as the programs write it; `second` counts from 2026-05-01 00:00:00 UTC, `more` adds fields.
std::string JournalJson(int second, const std::string& kind, const std::string& recipe,
                        const std::string& more = "", int frames = 192,
                        const std::string& result = "complete", int durationMs = 9600) {
    char time[32];
    std::snprintf(time, sizeof time, "2026-05-01T%02d:%02d:%02d.000Z", second / 3600, second / 60 % 60,
                  second % 60);
    return std::string("{\"time\":\"") + time +
           "\",\"user\":\"op\",\"port\":\"COM3\",\"device\":\"/dev/ttyUSB0\"," +
           "\"by_id\":\"\",\"recipe\":\"" + recipe + "\",\"sha256\":\"" + std::string(64, 'a') +
           "\",\"kind\":\"" + kind + "\",\"frames\":" + std::to_string(frames) + ",\"result\":\"" + result +
           "\"" + more + ",\"duration_ms\":" + std::to_string(durationMs) + "}\n";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Entries come in order of their start (a live session is written at its end); no text in a record, be it a
// control character, an escape sequence, a "%1" or a byte that is not UTF-8, can break or bend the table;
// "failed" counts the frames written, as the FRAMES column does; --last 0 prints nothing.
TEST_F(KavoCli, LogListsInOrderOfStartAndShowsEveryTextSafely) {
    fs::create_directories(m_state / "kavo");
    std::ofstream(m_state / "kavo" / "journal.jsonl")
        << std::regex_replace(JournalJson(10, "download", "/r/a\\n\\u001b[31m%2.aid",
                                          ",\"failed_frame\":57,\"error\":\"hung up %1\\t%8\"", 56, "failed"),
                              std::regex("\"user\":\"op\""), "\"user\":\"op%1\"")
        << JournalJson(5, "live", "/r/b\\udcff.aid", "", 3, "complete", 20000)
        << JournalJson(30, "download", "/r/c.aid");

    auto table = Run({"log"});
    EXPECT_EQ(table->Wait(), 0);
    const std::vector<std::string> rows = Lines(table->output());
    ASSERT_EQ(rows.size(), 4u) << table->output();
    EXPECT_EQ(rows[0].rfind("TIME (UTC)", 0), 0u) << rows[0];
    EXPECT_TRUE(std::regex_search(
        rows[1], std::regex(R"(live +COM3 +3 +20\.0 s +op +complete +/r/b\\xff\.aid  sha256:a{12}$)")))
        << rows[1];
    EXPECT_TRUE(std::regex_search(
        rows[2], std::regex(R"(download +COM3 +56 +9\.6 s +op%1 +failed after 56 frames: hung up %1\\x09%8  )"
                            R"(/r/a\\n\\x1b\[31m%2\.aid  sha256:a{12}$)")))
        << rows[2];
    EXPECT_NE(rows[3].find("/r/c.aid"), std::string::npos) << rows[3];
    EXPECT_EQ(table->output().find('\x1b'), std::string::npos);

    auto json = Run({"log", "--json"});
    EXPECT_EQ(json->Wait(), 0);
    const std::vector<std::string> records = Lines(json->output());
    ASSERT_EQ(records.size(), 3u) << json->output();
    EXPECT_NE(records[0].find("\"recipe\":\"/r/b\\udcff.aid\""), std::string::npos) << records[0];
    EXPECT_NE(records[1].find("\"failed_frame\":57"), std::string::npos) << records[1];
    EXPECT_NE(records[2].find("/r/c.aid"), std::string::npos) << records[2];

    auto none = Run({"log", "--last", "0"});
    EXPECT_EQ(none->Wait(), 0);
    EXPECT_EQ(none->output(), "");
}

// The older file kept at rotation is read first; --last reads from the end.
TEST_F(KavoCli, LogReadsTheOlderFileAndTheLastEntriesFromTheEnd) {
    fs::create_directories(m_state / "kavo");
    {
        std::ofstream older(m_state / "kavo" / "journal.jsonl.1");
        for (int i = 0; i < 3; ++i) {
            older << JournalJson(i, "download", "/r/old" + std::to_string(i) + ".aid");
        }
        std::ofstream current(m_state / "kavo" / "journal.jsonl");
        for (int i = 0; i < 20000; ++i) {
            current << JournalJson(100 + i, "download", "/r/new" + std::to_string(i) + ".aid");
        }
    }
    auto last = Run({"log", "--json", "--last", "2"});
    EXPECT_EQ(last->Wait(), 0);
    const std::vector<std::string> two = Lines(last->output());
    ASSERT_EQ(two.size(), 2u) << last->output();
    EXPECT_NE(two[0].find("/r/new19998.aid"), std::string::npos) << two[0];
    EXPECT_NE(two[1].find("/r/new19999.aid"), std::string::npos) << two[1];

    auto all = Run({"log"});
    EXPECT_EQ(all->Wait(), 0);
    const std::vector<std::string> rows = Lines(all->output());
    ASSERT_EQ(rows.size(), 1u + 3u + 20000u);
    EXPECT_NE(rows[1].find("/r/old0.aid"), std::string::npos) << rows[1];
    EXPECT_NE(rows[4].find("/r/new0.aid"), std::string::npos) << rows[4];
}

// A FIFO where the journal goes holds up neither kavo-cli log nor a download: each says so and ends.
TEST_F(KavoCli, AFifoJournalIsToldAndHoldsNothingUp) {
    fs::create_directories(m_state / "kavo");
    const fs::path journal = m_state / "kavo" / "journal.jsonl";
    ASSERT_EQ(::mkfifo(journal.c_str(), 0644), 0);
    const std::string why = journal.string() + ": it is a FIFO, not a regular file\n";

    auto log = Run({"log"});
    EXPECT_EQ(log->Wait(10s), 1);
    EXPECT_EQ(log->output(), "kavo-cli log: cannot read " + why);

    WriteAid(m_dir / "r.aid", SampleRecipe());
    auto sim = Start({"--once"});
    const std::string name = ReadyName(*sim);
    ASSERT_FALSE(name.empty());
    auto dl = Run({"download", "--port", name, "--no-beep", (m_dir / "r.aid").string()});
    EXPECT_EQ(dl->Wait(30s), 0) << dl->output();
    EXPECT_NE(dl->output().find("kavo-cli download: the journal can't be written: cannot write " + why),
              std::string::npos)
        << dl->output();
    EXPECT_EQ(sim->Wait(), 0);
    EXPECT_TRUE(fs::is_fifo(journal));
}

} // namespace
