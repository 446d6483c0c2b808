// The controller link on a pseudo-terminal entered as COM3 in a temporary port folder: a download end to end,
// closing a stalled line, and the words for a port that can't be opened.
#include "ControllerLink.h"
#include "FarEnd.h"
#include "PortNameTable.h"
#include "PtyPair.h"
#include "SerialPortFactory.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <termios.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Records what the link tells, in order.
class Listener final : public IDownloadListener {
  public:
    void OnDownloadStarted() override { Add("started"); }
    void OnDownloadProgress(int count) override {
        {
            std::lock_guard lock(m_mutex);
            m_progress = count;
            ++m_progressCalls;
        }
        if (afterFrame) {
            afterFrame(count);
        }
    }
    void OnDownloadSucceeded() override { Add("succeeded"); }
    void OnDownloadBell() override { Add("bell"); }
    void OnDownloadFinished(const DownloadResult& result) override {
        std::lock_guard lock(m_mutex);
        m_events.push_back("finished");
        m_result = result;
        m_cv.notify_all();
    }

    // A generous bound: only a hang breaks it.
    bool WaitFinished() {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, 30s,
                             [this] { return !m_events.empty() && m_events.back() == "finished"; });
    }
    std::vector<std::string> Events() {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    int Progress() {
        std::lock_guard lock(m_mutex);
        return m_progress;
    }
    int ProgressCalls() {
        std::lock_guard lock(m_mutex);
        return m_progressCalls;
    }
    DownloadResult Result() {
        std::lock_guard lock(m_mutex);
        return m_result;
    }

    // Runs on the worker's thread after each frame (a test holds the worker there).
    std::function<void(int count)> afterFrame;

  private:
    void Add(const char* event) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(event);
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_events;
    int m_progress = 0;
    int m_progressCalls = 0;
    DownloadResult m_result;
};

// A machine whose only port is COM3, a pseudo-terminal.
class ControllerLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "kavo-link-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        m_root = templ;
        for (const char* sub : {"ports", "sys", "dev"}) {
            fs::create_directories(m_root / sub);
        }
        ASSERT_TRUE(pty.ok());
        fs::create_symlink(pty.slaveName, m_root / "ports" / "COM3");
    }
    void TearDown() override { fs::remove_all(m_root); }

    std::unique_ptr<CSerialPortBase> Port() const {
        return CreateSerialPort(
            PortNameTable((m_root / "ports").string(), (m_root / "sys").string(), (m_root / "dev").string()));
    }
    static DownloadWorker::Options Fast() {
        DownloadWorker::Options o;
        o.frameInterval = 1ms;
        o.beepLength = 5ms;
        return o;
    }

    fs::path m_root;
    PtyPair pty{{.holdSlave = true}};
};

TEST_F(ControllerLinkTest, DownloadsARecipeOverTheControllersLine) {
    ControllerLink link(Port(), nullptr, Fast());
    ASSERT_TRUE(link.Open("COM3"));
    ASSERT_TRUE(link.Open("COM3")); // an open line is closed and opened again, not refused
    const CSerialPortBase& port = link.Port();
    EXPECT_EQ(port.baudRate(), 115200);
    EXPECT_EQ(port.dataBits(), DataBits8);
    EXPECT_EQ(port.parity(), ParityNone);
    EXPECT_EQ(port.stopBits(), StopOne);
    EXPECT_EQ(port.flowControl(), FlowNone);
    EXPECT_EQ(port.readBufferSize(), 4096u);
    EXPECT_EQ(link.PortName(), "COM3");

    Recipe recipe;
    recipe.m_levels[1][2][3] = 0x42;
    recipe.m_stepMasks[2][3][7] = 0x8001;
    std::vector<std::uint8_t> want;
    for (const DownloadFrame& f : BuildDownloadFrames(recipe.m_levels, recipe.m_stepMasks)) {
        want.insert(want.end(), f.begin(), f.end());
    }
    auto reader = std::async(std::launch::async, [&] { return pty.ReadAll(want.size()); });
    Listener listener;
    ASSERT_EQ(link.StartDownload(recipe, listener), DownloadStartResult::Started);
    recipe.m_levels[1][2][3] = 0x43; // the link sends its own copy
    EXPECT_EQ(link.StartDownload(recipe, listener), DownloadStartResult::AlreadyRunning);
    ASSERT_TRUE(listener.WaitFinished());
    link.Close();

    EXPECT_EQ(reader.get(), want);
    EXPECT_EQ(listener.Events(), (std::vector<std::string>{"started", "succeeded", "bell", "finished"}));
    EXPECT_EQ(listener.ProgressCalls(), 192);
    EXPECT_EQ(listener.Progress(), 192);
    EXPECT_TRUE(listener.Result().ok);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(link.IsDownloadRunning());
}

// The controller's end holds the line (output suspended): the first write can't finish. Close asks the worker
// to stop, closes the port, which lets go of the stuck write, and only then joins; joining first would hang.
TEST_F(ControllerLinkTest, CloseEndsADownloadStuckOnAStalledLine) {
    Listener listener;
    ControllerLink link(Port(), nullptr, Fast());
    ASSERT_TRUE(link.Open("COM3"));
    ASSERT_EQ(::tcflow(pty.slave, TCOOFF), 0);
    ASSERT_EQ(link.StartDownload(Recipe(), listener), DownloadStartResult::Started);
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(listener.Progress(), 0) << "the line did not stall";
    ASSERT_TRUE(link.IsDownloadRunning());

    auto closed = std::async(std::launch::async, [&link] { link.Close(); });
    const bool inTime = closed.wait_for(30s) == std::future_status::ready;
    ::tcflow(pty.slave, TCOON); // lets a hung join go, so that a failure ends the test rather than hangs it
    closed.wait();
    EXPECT_TRUE(inTime) << "Close hung on the stuck write";

    // Close returned after the end notice: nothing more is told.
    EXPECT_EQ(listener.Events(), (std::vector<std::string>{"started", "finished"}));
    const DownloadResult r = listener.Result();
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.framesSent, 0);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(link.IsDownloadRunning());
}

// The controller has stopped reading and its input is full (a stalled receiver): what the download wrote
// waits in the far end's input. Reporting the download done and then throwing those bytes away at close would
// claim frames that never arrive; the bytes must still be there when the far end reads again.
TEST_F(ControllerLinkTest, BytesTheFarEndHasNotReadYetOutliveTheClose) {
    ControllerLink link(Port(), nullptr, Fast());
    ASSERT_TRUE(link.Open("COM3"));
    // More than the far end's line discipline takes in (4 KiB): the rest waits in the terminal's buffer.
    const std::vector<std::uint8_t> backlog(6000, 0x55);
    ASSERT_EQ(::write(pty.slave, backlog.data(), backlog.size()), static_cast<ssize_t>(backlog.size()));

    Recipe recipe;
    recipe.m_levels[2][3][7] = 0x42; // frame 160
    std::vector<std::uint8_t> want = backlog;
    for (const DownloadFrame& f : BuildDownloadFrames(recipe.m_levels, recipe.m_stepMasks)) {
        want.insert(want.end(), f.begin(), f.end());
    }
    Listener listener;
    ASSERT_EQ(link.StartDownload(recipe, listener), DownloadStartResult::Started);
    ASSERT_TRUE(listener.WaitFinished());
    EXPECT_TRUE(listener.Result().ok) << DescribeDownloadFailure(listener.Result(), "COM3");
    link.Close();

    const std::vector<std::uint8_t> got = pty.ReadAll(want.size());
    EXPECT_EQ(got.size(), want.size());
    EXPECT_TRUE(got == want);
}

// The controller stopped reading and the line is full: the first frame's write fails at its deadline, and
// the download ends with one message naming the frame and the cause, instead of sitting at 0 for ever.
TEST_F(ControllerLinkTest, ADownloadToALineThatStoppedDrainingFailsAtTheWriteDeadline) {
    DownloadWorker::Options options = Fast();
    options.writeMargin = 50ms;
    ControllerLink link(Port(), nullptr, options);
    ASSERT_TRUE(link.Open("COM3"));
    ASSERT_TRUE(pty.FillUntilStalled());
    Listener listener;
    ASSERT_EQ(link.StartDownload(Recipe(), listener), DownloadStartResult::Started);
    ASSERT_TRUE(listener.WaitFinished()) << "the download never ended";
    const DownloadResult r = listener.Result();
    EXPECT_FALSE(r.ok) << r.framesSent << " " << r.errorText;
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(r.failure, DownloadResult::Failure::Write);
    EXPECT_EQ(r.failedFrame, 1);
    EXPECT_EQ(r.framesSent, 0);
    EXPECT_EQ(
        DescribeDownloadFailure(r, "COM3"),
        "writing frame 1 of 192 to COM3 failed: the line stopped draining: the controller or the adapter "
        "is not taking the data");
    EXPECT_EQ(listener.Events(), (std::vector<std::string>{"started", "finished"}));
    EXPECT_TRUE(link.Memory().downloadIncomplete);
    link.Close();
}

// The sender stalls for a while in mid-download (the process stopped, or the line held a write): the frames
// it is then behind on do not leave bunched to catch up; each waits a whole interval after the one before.
TEST_F(ControllerLinkTest, FramesNeverBunchAfterAStall) {
    constexpr auto kInterval = 10ms;
    const struct {
        const char* what;
        bool holdLine; // the line holds the write; otherwise the worker itself is held after frame 20
    } cases[] = {{"the worker held after frame 20", false}, {"the line held after frame 20", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DownloadWorker::Options options = Fast();
        options.frameInterval = kInterval;
        ControllerLink link(Port(), nullptr, options);
        ASSERT_TRUE(link.Open("COM3"));
        FarEnd far(pty);
        Listener listener;
        listener.afterFrame = [&](int count) {
            if (count != 20) {
                return;
            }
            if (c.holdLine) {
                ::tcflow(pty.slave, TCOOFF);
                std::thread([slave = pty.slave] {
                    std::this_thread::sleep_for(150ms);
                    ::tcflow(slave, TCOON);
                }).detach();
            } else {
                std::this_thread::sleep_for(150ms);
            }
        };
        ASSERT_EQ(link.StartDownload(Recipe(), listener), DownloadStartResult::Started);
        ASSERT_TRUE(listener.WaitFinished());
        EXPECT_TRUE(listener.Result().ok) << DescribeDownloadFailure(listener.Result(), "COM3");
        ASSERT_TRUE(far.WaitFor(192));
        far.Stop();
        link.Close();
        // Half an interval: far above what reading adds, far below frames sent together (0 ms).
        const double halfInterval = std::chrono::duration<double, std::milli>(kInterval).count() / 2;
        EXPECT_GE(MinSpacingMs(far.Frames()), halfInterval);
    }
}

TEST_F(ControllerLinkTest, AFailedOpenSaysWhy) {
    std::unique_ptr<CSerialPortBase> holder = Port();
    holder->configure("COM3", 115200, ParityNone, DataBits8, StopOne, FlowNone, 4096);
    ASSERT_TRUE(holder->open());

    const struct {
        const char* name;
        const char* text;
    } cases[] = {
        {"COM7", "COM7 was not found: the adapter may be unplugged."},
        {"COM3", "COM3 is in use by another program."},
        {"", "No serial port is selected: no port was found on this computer."},
    };
    ControllerLink link(Port(), nullptr, Fast());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(link.Open(c.name));
        EXPECT_EQ(link.OpenFailureText(), c.text);
        EXPECT_FALSE(link.IsOpen());
        Listener listener;
        EXPECT_EQ(link.StartDownload(Recipe(), listener), DownloadStartResult::NotOpen);
    }
}

} // namespace
