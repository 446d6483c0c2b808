// Live frames through the controller link on a pseudo-terminal: coalescing and pacing, frames held during a
// download, a hang-up, and what the link knows the controller holds. The far end stamps each frame as it
// arrives; the only timing asserted is the least spacing of frames on the line.
#include "ControllerLink.h"
#include "FarEnd.h"
#include "LiveQueue.h"
#include "PortNameTable.h"
#include "PtyPair.h"
#include "SerialPortFactory.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace kavo::download;
using Clock = std::chrono::steady_clock;

namespace {

class LiveRecorder final : public ILiveListener, public IDownloadListener {
  public:
    void OnLiveFrameSent(int, std::uint16_t) override { sent.fetch_add(1); }
    void OnLiveFailed(int slot, const std::string& errorText) override {
        std::lock_guard lock(m_mutex);
        failedSlot = slot;
        error = errorText;
        m_cv.notify_all();
    }
    void OnDownloadFinished(const DownloadResult& r) override {
        std::lock_guard lock(m_mutex);
        finished = true;
        result = r;
        m_cv.notify_all();
    }
    bool WaitFailed() {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, 30s, [this] { return failedSlot >= 0; });
    }
    bool WaitFinished() {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, 30s, [this] { return finished; });
    }
    std::atomic<int> sent{0};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int failedSlot = -1;
    std::string error;
    bool finished = false;
    DownloadResult result;
};

class LiveLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "kavo-live-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        m_root = templ;
        for (const char* sub : {"ports", "sys", "dev"}) {
            fs::create_directories(m_root / sub);
        }
        ASSERT_TRUE(pty.ok());
        fs::create_symlink(pty.slaveName, m_root / "ports" / "COM3");
    }
    void TearDown() override { fs::remove_all(m_root); }

    std::unique_ptr<ControllerLink> Link(std::chrono::milliseconds interval,
                                         std::optional<std::chrono::milliseconds> writeMargin = {}) const {
        DownloadWorker::Options o;
        o.frameInterval = interval;
        o.beepLength = 1ms;
        o.writeMargin = writeMargin;
        return std::make_unique<ControllerLink>(
            CreateSerialPort(PortNameTable((m_root / "ports").string(), (m_root / "sys").string(),
                                           (m_root / "dev").string())),
            nullptr, o);
    }

    fs::path m_root;
    PtyPair pty{{.holdSlave = true}};
};

TEST(LiveQueue, OnePendingValuePerSlotTheLatestWinsAndWhatIsHeldIsNotSentAgain) {
    ControllerMemory memory;
    memory.values[7] = 100;
    LiveQueue q;
    q.Put(3, 1, memory);
    q.Put(9, 5, memory);
    q.Put(3, 2, memory);   // replaces 1, keeps its place
    q.Put(7, 100, memory); // what the controller holds: nothing to send
    q.Put(7, 101, memory);
    q.Put(7, 100, memory); // back to what it holds: the pending 101 goes
    EXPECT_EQ(q.Size(), 2u);
    EXPECT_EQ(q.Take(memory), std::make_pair(3, std::uint16_t{2}));
    memory.values[9] = 5; // delivered meanwhile (by a download)
    EXPECT_EQ(q.Take(memory), std::nullopt);
    EXPECT_TRUE(q.Empty());
}

// A drag's worth of values for one slot, faster than the line takes them: they are coalesced, frames are
// never closer than the interval, and the last value is the one that stays.
TEST_F(LiveLinkTest, FastEditsAreCoalescedPacedAndTheLastValueWins) {
    auto link = Link(50ms);
    ASSERT_TRUE(link->Open("COM3"));
    FarEnd far(pty);
    LiveRecorder rec;
    ASSERT_TRUE(link->StartLive(rec));
    const int slot = FrameSlot(2, 3, 4, false);
    for (std::uint16_t v = 1; v <= 100; ++v) {
        ASSERT_TRUE(link->SendLive(slot, v));
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(far.WaitFor(1));
    // Everything pending has left once the last value arrived.
    const auto end = Clock::now() + 30s;
    while ((far.Frames().empty() || FrameValue(far.Frames().back().frame) != 100) && Clock::now() < end) {
        std::this_thread::sleep_for(5ms);
    }
    link->SendLive(slot, 100); // already held: not sent again
    std::this_thread::sleep_for(150ms);
    const std::vector<Arrival> frames = far.Frames();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_LT(frames.size(), 50u); // coalesced, not 100
    EXPECT_EQ(frames.back().frame, MakeSlotFrame(slot, 100));
    for (const Arrival& a : frames) {
        EXPECT_EQ(a.frame[2], FrameAddress(2, 3, false));
        EXPECT_EQ(a.frame[1], 0x24);
    }
    EXPECT_GE(MinSpacingMs(frames), 50.0);
    EXPECT_EQ(rec.sent.load(), static_cast<int>(frames.size()));
    EXPECT_EQ(link->Memory().values[static_cast<std::size_t>(slot)], 100);
    link->StopLive();
    EXPECT_FALSE(link->SendLive(slot, 5));
}

// A live frame just before a download, one during it: the download's first frame keeps the interval after the
// live one, the second live frame waits for the download's end and keeps the interval after its last frame.
TEST_F(LiveLinkTest, ADownloadHoldsLiveFramesBackAndKeepsThePacing) {
    auto link = Link(10ms);
    ASSERT_TRUE(link->Open("COM3"));
    FarEnd far(pty);
    LiveRecorder rec;
    ASSERT_TRUE(link->StartLive(rec));
    Recipe recipe;
    recipe.m_levels[0][0][0] = 7;
    const int before = FrameSlot(3, 4, 8, true);
    const int during = FrameSlot(1, 2, 1, false);
    link->SendLive(before, 0x1234);
    ASSERT_TRUE(far.WaitFor(1)); // the download starts right after it
    ASSERT_EQ(link->StartDownload(recipe, rec), DownloadStartResult::Started);
    link->SendLive(during, 42);
    ASSERT_TRUE(rec.WaitFinished());
    ASSERT_TRUE(far.WaitFor(194));
    std::this_thread::sleep_for(50ms);
    const std::vector<Arrival> frames = far.Frames();
    ASSERT_EQ(frames.size(), 194u);
    EXPECT_EQ(frames.front().frame, MakeSlotFrame(before, 0x1234));
    const auto download = BuildDownloadFrames(recipe.m_levels, recipe.m_stepMasks);
    for (std::size_t i = 0; i < download.size(); ++i) {
        ASSERT_EQ(frames[i + 1].frame, download[i]) << "frame " << i + 1;
    }
    EXPECT_EQ(frames.back().frame, MakeSlotFrame(during, 42));
    // Where live and download frames meet (the download's own pacing is its worker's).
    EXPECT_GE(MinSpacingMs({frames[0], frames[1]}), 10.0);
    EXPECT_GE(MinSpacingMs({frames[192], frames[193]}), 10.0);

    // The controller got the recipe, then the live frame that followed it.
    const ControllerMemory memory = link->Memory();
    EXPECT_EQ(memory.KnownCount(), kFrameCount);
    EXPECT_FALSE(memory.downloadIncomplete);
    FrameValueArray want = FrameValues(recipe.m_levels, recipe.m_stepMasks);
    want[static_cast<std::size_t>(during)] = 42;
    EXPECT_EQ(memory.CountDifferences(want), 0);
}

// The far end hangs up while live frames go out: one failure notice with the port's reason, live is off,
// nothing pending is sent any more, and the slot being written is no longer known.
TEST_F(LiveLinkTest, AHangUpTurnsLiveOffWithThePortsReason) {
    auto link = Link(50ms);
    ASSERT_TRUE(link->Open("COM3"));
    LiveRecorder rec;
    ASSERT_TRUE(link->StartLive(rec));
    pty.CloseMaster();
    ::close(pty.slave); // no descriptor holds the line up any more
    pty.slave = -1;
    link->SendLive(FrameSlot(1, 1, 1, false), 9);
    link->SendLive(FrameSlot(1, 1, 2, false), 9);
    ASSERT_TRUE(rec.WaitFailed());
    EXPECT_EQ(rec.failedSlot, FrameSlot(1, 1, 1, false));
    EXPECT_EQ(rec.error, "the adapter was unplugged or the line hung up");
    EXPECT_FALSE(link->IsLive());
    EXPECT_EQ(link->LivePendingCount(), 0u);
    EXPECT_EQ(link->Memory().KnownCount(), 0);
    link->Close();
}

// The controller stopped reading and the line is full: the live frame's write fails at its deadline instead
// of holding the live sender for ever; Live turns off with the reason, and the controller's value there is
// unknown.
TEST_F(LiveLinkTest, AStalledLineTurnsLiveOffAtTheWriteDeadline) {
    auto link = Link(5ms, 50ms);
    ASSERT_TRUE(link->Open("COM3"));
    ASSERT_TRUE(pty.FillUntilStalled());
    LiveRecorder rec;
    ASSERT_TRUE(link->StartLive(rec));
    link->SendLive(FrameSlot(2, 3, 4, true), 0x8001);
    link->SendLive(FrameSlot(2, 3, 5, true), 0x8002);
    ASSERT_TRUE(rec.WaitFailed()) << "the live write never ended";
    EXPECT_EQ(rec.failedSlot, FrameSlot(2, 3, 4, true));
    EXPECT_EQ(rec.error, "the line stopped draining: the controller or the adapter is not taking the data");
    EXPECT_EQ(rec.sent.load(), 0);
    EXPECT_FALSE(link->IsLive());
    EXPECT_EQ(link->LivePendingCount(), 0u);
    EXPECT_EQ(link->Memory().KnownCount(), 0);
    EXPECT_TRUE(link->IsOpen()); // the device is there; only its receiver stalled
    link->Close();
}

// What the link knows the controller holds, per port name: a broken download leaves it in doubt until a
// complete one.
TEST_F(LiveLinkTest, AFailedDownloadLeavesTheControllerUnknownUntilAComplete) {
    auto link = Link(1ms);
    ASSERT_TRUE(link->Open("COM3"));
    EXPECT_EQ(link->Memory().KnownCount(), 0);
    {
        FarEnd far(pty);
        LiveRecorder rec;
        ASSERT_EQ(link->StartDownload(Recipe(), rec), DownloadStartResult::Started);
        ASSERT_TRUE(rec.WaitFinished());
        ASSERT_TRUE(rec.result.ok);
    }
    EXPECT_EQ(link->Memory().KnownCount(), kFrameCount);
    EXPECT_FALSE(link->Memory().downloadIncomplete);
    EXPECT_EQ(link->Memory("COM4").KnownCount(), 0);

    ASSERT_EQ(::tcflow(pty.slave, TCOOFF), 0); // the line stalls: the download is stopped by the close
    LiveRecorder rec;
    ASSERT_EQ(link->StartDownload(Recipe(), rec), DownloadStartResult::Started);
    std::this_thread::sleep_for(20ms);
    link->Close();
    ::tcflow(pty.slave, TCOON);
    ASSERT_TRUE(rec.finished);
    EXPECT_TRUE(rec.result.stopped);
    const ControllerMemory memory = link->Memory("COM3");
    EXPECT_TRUE(memory.downloadIncomplete);
    EXPECT_FALSE(memory.downloadRunning);
}

} // namespace
