#include "DownloadWorker.h"
#include "Beeper.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

class FakeBeeper : public IBeeper {
  public:
    explicit FakeBeeper(bool hasDevice) : m_hasDevice(hasDevice) {}
    bool beep(unsigned hz, unsigned ms, std::stop_token) override {
        std::lock_guard lock(m_mutex);
        m_calls.push_back({hz, ms});
        return m_hasDevice;
    }
    std::vector<std::pair<unsigned, unsigned>> calls() {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

  private:
    bool m_hasDevice;
    std::mutex m_mutex;
    std::vector<std::pair<unsigned, unsigned>> m_calls;
};

// Records the notices of one download in order, as the form would see them.
class Recorder {
  public:
    DownloadCallbacks callbacks() {
        DownloadCallbacks cb;
        cb.started = [this] { Add("started"); };
        cb.progress = [this](int n) {
            std::lock_guard lock(m_mutex);
            m_lastProgress = n;
            m_progressCalls++;
            m_cv.notify_all();
        };
        cb.succeeded = [this] { Add("succeeded"); };
        cb.bell = [this] { Add("bell"); };
        cb.finished = [this](const DownloadResult& r) {
            std::lock_guard lock(m_mutex);
            m_events.push_back("finished");
            m_result = r;
            m_finished++;
            m_cv.notify_all();
        };
        return cb;
    }
    // Generous bounds: only a hang breaks them.
    bool WaitFinished() {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, 30s, [this] { return m_finished > 0; });
    }
    bool WaitProgress(int n) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, 30s, [&] { return m_lastProgress >= n; });
    }
    std::vector<std::string> events() {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    DownloadResult result() {
        std::lock_guard lock(m_mutex);
        return m_result;
    }
    int lastProgress() {
        std::lock_guard lock(m_mutex);
        return m_lastProgress;
    }
    int progressCalls() {
        std::lock_guard lock(m_mutex);
        return m_progressCalls;
    }
    int finishedCount() {
        std::lock_guard lock(m_mutex);
        return m_finished;
    }

  private:
    void Add(const char* e) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(e);
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_events;
    DownloadResult m_result;
    int m_lastProgress = 0;
    int m_progressCalls = 0;
    int m_finished = 0;
};

DownloadWorker::Options Fast() {
    DownloadWorker::Options o;
    o.frameInterval = 1ms;
    o.beepLength = 5ms;
    return o;
}

DownloadJob JobWriting(std::function<int(const std::uint8_t*, int)> write,
                       std::function<std::string()> errorText = {}) {
    return DownloadJob{Recipe(), std::move(write), std::move(errorText)};
}

TEST(DownloadWorker, SendsTheRecipeOverAPtyThenTurnsGreenBeepsAndFinishes) {
    PtyPair pty{{.holdSlave = true}};
    ASSERT_TRUE(pty.ok());
    Recipe recipe;
    recipe.m_levels[1][2][3] = 0x42;
    recipe.m_stepMasks[2][3][7] = 0x8001;
    const auto expected = BuildDownloadFrames(recipe.m_levels, recipe.m_stepMasks);

    auto reader = std::async(std::launch::async, [&] { return pty.ReadAll(192 * 6); });
    FakeBeeper beeper(true);
    Recorder rec;
    DownloadWorker worker(&beeper, Fast());
    const int fd = pty.slave;
    DownloadJob job{recipe, [fd](const std::uint8_t* d, int n) { return int(::write(fd, d, n)); }, {}};
    // Edits after Download was pressed do not reach the download in progress.
    recipe.m_levels[1][2][3] = 0x43;
    ASSERT_EQ(worker.start(std::move(job), rec.callbacks()), DownloadStartResult::Started);
    ASSERT_TRUE(rec.WaitFinished());

    const auto got = reader.get();
    std::vector<std::uint8_t> want;
    for (const auto& f : expected) {
        want.insert(want.end(), f.begin(), f.end());
    }
    EXPECT_EQ(got, want);
    EXPECT_EQ(rec.progressCalls(), 192);
    EXPECT_EQ(rec.lastProgress(), 192);
    EXPECT_EQ(rec.events(), (std::vector<std::string>{"started", "succeeded", "finished"}));
    EXPECT_EQ(beeper.calls(), (std::vector<std::pair<unsigned, unsigned>>{{1000u, 5u}}));
    const DownloadResult r = rec.result();
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.framesSent, 192);
    EXPECT_EQ(r.failedFrame, 0);
    EXPECT_FALSE(r.stopped);
    EXPECT_FALSE(worker.isRunning());
}

TEST(DownloadWorker, RingsTheBellWhenThereIsNoSoundDevice) {
    FakeBeeper beeper(false);
    Recorder rec;
    DownloadWorker worker(&beeper, Fast());
    ASSERT_EQ(worker.start(JobWriting([](const std::uint8_t*, int n) { return n; }), rec.callbacks()),
              DownloadStartResult::Started);
    ASSERT_TRUE(rec.WaitFinished());
    EXPECT_EQ(rec.events(), (std::vector<std::string>{"started", "succeeded", "bell", "finished"}));
    EXPECT_TRUE(rec.result().ok);
}

// A failed write stops the download at once: no green bar, no beep, the frame and the port's text reported.
TEST(DownloadWorker, StopsAtTheFirstFailedWrite) {
    const struct {
        int failAt;
        int returns; // what the failing write returns
        const char* portText;
        const char* expectedText;
    } cases[] = {
        {1, -1, "Input/output error", "Input/output error"},
        {57, -1, "Device not found", "Device not found"},
        // A short write leaves no error on the port: its text ("Success") is not the reason.
        {192, 3, "Success", "only 3 of 6 bytes were written"},
        {100, 0, "Success", "only 0 of 6 bytes were written"},
        {2, -1, nullptr, "write failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("failing at frame " + std::to_string(c.failAt));
        FakeBeeper beeper(true);
        Recorder rec;
        DownloadWorker worker(&beeper, Fast());
        int calls = 0;
        auto write = [&calls, &c](const std::uint8_t*, int n) { return ++calls == c.failAt ? c.returns : n; };
        std::function<std::string()> text;
        if (c.portText != nullptr) {
            text = [&c] { return std::string(c.portText); };
        }
        ASSERT_EQ(worker.start(JobWriting(write, text), rec.callbacks()), DownloadStartResult::Started);
        ASSERT_TRUE(rec.WaitFinished());
        worker.stop();
        EXPECT_EQ(calls, c.failAt);
        const DownloadResult r = rec.result();
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.framesSent, c.failAt - 1);
        EXPECT_EQ(r.failure, DownloadResult::Failure::Write);
        EXPECT_EQ(r.failedFrame, c.failAt);
        EXPECT_EQ(r.errorText, c.expectedText);
        EXPECT_EQ(DescribeDownloadFailure(r, "COM3"),
                  "writing frame " + std::to_string(c.failAt) + " of 192 to COM3 failed: " + c.expectedText);
        EXPECT_EQ(rec.lastProgress(), c.failAt - 1);
        EXPECT_EQ(rec.events(), (std::vector<std::string>{"started", "finished"}));
        EXPECT_TRUE(beeper.calls().empty());
    }
}

// The controller's end of the line goes away mid-download: the port's write fails and the download fails.
TEST(DownloadWorker, OtherEndGoneMidDownloadEndsInFailure) {
    PtyPair pty{{.holdSlave = true}};
    ASSERT_TRUE(pty.ok());
    FakeBeeper beeper(true);
    Recorder rec;
    DownloadWorker worker(&beeper, Fast());
    const int fd = pty.slave;
    auto job = JobWriting([fd](const std::uint8_t* d, int n) { return int(::write(fd, d, n)); },
                          [] { return std::string(std::strerror(errno)); });
    auto cb = rec.callbacks();
    // Hang up the master once ten frames went out, from the worker's own thread so the point is exact.
    auto progress = cb.progress;
    cb.progress = [&pty, progress](int n) {
        progress(n);
        if (n == 10) {
            pty.CloseMaster();
        }
    };
    ASSERT_EQ(worker.start(std::move(job), std::move(cb)), DownloadStartResult::Started);
    ASSERT_TRUE(rec.WaitFinished());
    const DownloadResult r = rec.result();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failedFrame, 11);
    EXPECT_EQ(r.framesSent, 10);
    EXPECT_FALSE(r.errorText.empty());
    EXPECT_TRUE(beeper.calls().empty());
}

// Written is not yet sent: after the last frame the worker waits for the frames to leave the port, and only
// then turns the bar green. Frames still queued when the wait ends make a failed download, not a green bar.
TEST(DownloadWorker, SucceedsOnlyOnceTheFramesHaveLeftThePort) {
    const struct {
        const char* what;
        bool hasDrain;
        bool drained;
        const char* portText;
        std::vector<std::string> events;
        const char* message; // nullptr: the download succeeded
    } cases[] = {
        {"no wait", false, false, "timeout error", {"started", "succeeded", "finished"}, nullptr},
        {"left", true, true, "timeout error", {"started", "succeeded", "finished"}, nullptr},
        {"still queued",
         true,
         false,
         "timeout error",
         {"started", "finished"},
         "the 192 frames written to COM3 did not leave the port: timeout error"},
        {"still queued, no text",
         true,
         false,
         nullptr,
         {"started", "finished"},
         "the 192 frames written to COM3 did not leave the port: the frames were still queued"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeBeeper beeper(true);
        Recorder rec;
        int writes = 0;
        std::vector<int> drainedAfter; // the writes made when each wait began
        DownloadJob job = JobWriting([&writes](const std::uint8_t*, int n) { return ++writes, n; });
        if (c.portText != nullptr) {
            job.errorText = [&c] { return std::string(c.portText); };
        }
        if (c.hasDrain) {
            job.drain = [&c, &writes, &drainedAfter] {
                drainedAfter.push_back(writes);
                return c.drained;
            };
        }
        DownloadWorker worker(&beeper, Fast());
        ASSERT_EQ(worker.start(std::move(job), rec.callbacks()), DownloadStartResult::Started);
        ASSERT_TRUE(rec.WaitFinished());
        worker.stop();
        EXPECT_EQ(drainedAfter, c.hasDrain ? std::vector<int>{192} : std::vector<int>{});
        EXPECT_EQ(rec.events(), c.events);
        const DownloadResult r = rec.result();
        EXPECT_EQ(r.framesSent, 192);
        EXPECT_EQ(r.failedFrame, 0);
        EXPECT_FALSE(r.stopped);
        if (c.message == nullptr) {
            EXPECT_TRUE(r.ok);
            EXPECT_EQ(beeper.calls().size(), 1u);
        } else {
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.failure, DownloadResult::Failure::Drain);
            EXPECT_EQ(DescribeDownloadFailure(r, "COM3"), c.message);
            EXPECT_TRUE(beeper.calls().empty());
        }
    }
}

TEST(DownloadWorker, StopInterruptsAPauseAndJoins) {
    FakeBeeper beeper(true);
    Recorder rec;
    DownloadWorker::Options slow;
    slow.frameInterval = 3600s; // only a stop request can end the first pause
    DownloadWorker worker(&beeper, slow);
    ASSERT_EQ(worker.start(JobWriting([](const std::uint8_t*, int n) { return n; }), rec.callbacks()),
              DownloadStartResult::Started);
    ASSERT_TRUE(rec.WaitProgress(1));
    EXPECT_TRUE(worker.isRunning());
    worker.stop();
    EXPECT_FALSE(worker.isRunning());
    ASSERT_EQ(rec.finishedCount(), 1);
    const DownloadResult r = rec.result();
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.framesSent, 1);
    EXPECT_EQ(r.failedFrame, 0);
    EXPECT_EQ(rec.events(), (std::vector<std::string>{"started", "finished"}));
    EXPECT_TRUE(beeper.calls().empty());
}

TEST(DownloadWorker, StopInterruptsTheBeepWait) {
    FakeBeeper beeper(true);
    Recorder rec;
    DownloadWorker::Options o = Fast();
    o.beepLength = 3600s;
    DownloadWorker worker(&beeper, o);
    auto cb = rec.callbacks();
    std::promise<void> green;
    cb.succeeded = [&green] { green.set_value(); };
    ASSERT_EQ(worker.start(JobWriting([](const std::uint8_t*, int n) { return n; }), std::move(cb)),
              DownloadStartResult::Started);
    ASSERT_EQ(green.get_future().wait_for(30s), std::future_status::ready);
    worker.stop();
    ASSERT_EQ(rec.finishedCount(), 1);
    EXPECT_TRUE(rec.result().ok); // every frame went out
    EXPECT_TRUE(rec.result().stopped);
}

TEST(DownloadWorker, DestructorStopsARunningDownload) {
    Recorder rec;
    {
        DownloadWorker::Options slow;
        slow.frameInterval = 3600s;
        DownloadWorker worker(nullptr, slow);
        ASSERT_EQ(worker.start(JobWriting([](const std::uint8_t*, int n) { return n; }), rec.callbacks()),
                  DownloadStartResult::Started);
        ASSERT_TRUE(rec.WaitProgress(1));
    }
    EXPECT_EQ(rec.finishedCount(), 1);
    EXPECT_TRUE(rec.result().stopped);
}

TEST(DownloadWorker, OneDownloadAtATimeAndAJobWithoutWriterRefused) {
    Recorder rec;
    DownloadWorker::Options slow;
    slow.frameInterval = 3600s;
    DownloadWorker worker(nullptr, slow);
    auto ok = [](const std::uint8_t*, int n) { return n; };

    DownloadJob noWriter = JobWriting(ok);
    noWriter.write = nullptr;
    EXPECT_EQ(worker.start(std::move(noWriter), {}), DownloadStartResult::NotOpen);
    EXPECT_FALSE(worker.isRunning());

    ASSERT_EQ(worker.start(JobWriting(ok), rec.callbacks()), DownloadStartResult::Started);
    int secondWrites = 0;
    EXPECT_EQ(worker.start(JobWriting([&](const std::uint8_t*, int n) { return ++secondWrites, n; }), {}),
              DownloadStartResult::AlreadyRunning);
    worker.stop();
    EXPECT_EQ(secondWrites, 0);
}

TEST(DownloadWorker, StartsAgainAfterTheFinishedNotice) {
    DownloadWorker worker(nullptr, Fast());
    for (int round = 0; round < 3; ++round) {
        Recorder rec;
        int writes = 0;
        ASSERT_EQ(worker.start(JobWriting([&](const std::uint8_t*, int n) { return ++writes, n; }),
                               rec.callbacks()),
                  DownloadStartResult::Started);
        ASSERT_TRUE(rec.WaitFinished());
        worker.stop(); // the recorder goes out of scope: the thread must be gone
        EXPECT_EQ(writes, 192);
        EXPECT_TRUE(rec.result().ok);
    }
}

// A throwing writer ends the download as a failure on the worker's thread instead of taking the process.
TEST(DownloadWorker, ThrowingWriterIsAFailedWrite) {
    Recorder rec;
    DownloadWorker worker(nullptr, Fast());
    ASSERT_EQ(
        worker.start(JobWriting([](const std::uint8_t*, int) -> int { throw std::runtime_error("gone"); }),
                     rec.callbacks()),
        DownloadStartResult::Started);
    ASSERT_TRUE(rec.WaitFinished());
    worker.stop();
    EXPECT_FALSE(rec.result().ok);
    EXPECT_EQ(rec.result().failedFrame, 1);
    EXPECT_EQ(rec.result().errorText, "gone");
}

// A callback that throws ends the download as a failure after the frames written, not as a failed write of
// a frame that was never tried; a writer that throws is a failed write of its frame.
TEST(DownloadWorker, ThrowingStepsAreReportedWhereTheyHappened) {
    const struct {
        const char* what;
        int throwAt; // the write (or progress notice) that throws
        bool inWrite;
        bool inSucceeded;
        DownloadResult::Failure failure;
        int framesSent;
        int failedFrame;
        const char* message;
    } cases[] = {
        {"writer", 3, true, false, DownloadResult::Failure::Write, 2, 3,
         "writing frame 3 of 192 to COM3 failed: boom"},
        {"progress", 5, false, false, DownloadResult::Failure::AfterFrame, 5, 0,
         "the download to COM3 stopped after frame 5 of 192: boom"},
        {"succeeded", 0, false, true, DownloadResult::Failure::AfterFrame, 192, 0,
         "all 192 frames were written to COM3, then the download failed: boom"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeBeeper beeper(true);
        Recorder rec;
        DownloadCallbacks cb = rec.callbacks();
        const DownloadCallbacks plain = rec.callbacks();
        cb.progress = [&c, plain](int n) {
            plain.progress(n);
            if (!c.inWrite && !c.inSucceeded && n == c.throwAt) {
                throw std::runtime_error("boom");
            }
        };
        if (c.inSucceeded) {
            cb.succeeded = [] { throw std::runtime_error("boom"); };
        }
        int calls = 0;
        auto write = [&calls, &c](const std::uint8_t*, int n) -> int {
            if (++calls == c.throwAt && c.inWrite) {
                throw std::runtime_error("boom");
            }
            return n;
        };
        DownloadWorker worker(&beeper, Fast());
        ASSERT_EQ(worker.start(JobWriting(write), cb), DownloadStartResult::Started);
        ASSERT_TRUE(rec.WaitFinished());
        worker.stop();
        const DownloadResult r = rec.result();
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.stopped);
        EXPECT_EQ(r.failure, c.failure);
        EXPECT_EQ(r.framesSent, c.framesSent);
        EXPECT_EQ(r.failedFrame, c.failedFrame);
        EXPECT_EQ(r.errorText, "boom");
        EXPECT_EQ(DescribeDownloadFailure(r, "COM3"), c.message);
        EXPECT_TRUE(beeper.calls().empty());
    }
}

} // namespace
