#pragma once

#include "DownloadFrame.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

class IBeeper;

// What the caller hands to one download: a copy of the recipe, taken when Download was pressed (later edits
// do not reach the download in progress), and the way to the port.
struct DownloadJob {
    Recipe recipe;
    // Writes size bytes; returns the number of bytes written or -1. Anything short of size is a failure.
    std::function<int(const std::uint8_t* data, int size)> write;
    // The port's text for its last error, read after a failed write or drain.
    std::function<std::string()> errorText;
    // Waits, bounded, until the frames written have left the port; false when they have not. Called once,
    // after the last frame and its pause; empty: no wait.
    std::function<bool()> drain = {};
    // The earliest moment for the first frame (another frame may have just left on the same line); called
    // once on the worker's thread before the first frame. Empty: at once.
    std::function<std::chrono::steady_clock::time_point()> notBefore = {};
};

// What came of asking for a download to start, from the worker and the link alike.
enum class DownloadStartResult {
    Started,
    NotOpen,        // nothing to write to: the line is closed (the job brings no writer)
    AlreadyRunning, // one download at a time
    NoThread,       // the system would not start a thread
};

struct DownloadResult {
    // What made a download fail.
    enum class Failure {
        None,      // nothing failed (ok, or stopped)
        Write,     // the write of frame failedFrame failed or threw
        Drain,     // every frame was written, but they had not left the port when the wait ended
        AfterFrame // a later step threw (a notice, a pause, the beep); frames 1..framesSent were written
    };
    bool ok = false;    // all 192 frames were written, left the port, and nothing after them failed
    int framesSent = 0; // frames written completely
    Failure failure = Failure::None;
    int failedFrame = 0;   // 1-based number of the frame whose write failed, 0 when no write failed
    std::string errorText; // why the download failed
    bool stopped = false;  // stop() ended the download early
};

// Why a download failed, in words, for a download to port: "writing frame 57 of 192 to COM3 failed:
// Input/output error" when a write failed, otherwise the frames written and the step that failed after them.
// Frames that were written but did not leave the port: "the 192 frames written to COM3 did not leave the
// port: timeout error".
std::string DescribeDownloadFailure(const DownloadResult& result, const std::string& port);

// The notices of one download. Every callback is called on the worker's own thread. A callback must not
// block on anything that waits for the worker (stop(), the destructor, or a user-interface thread that is
// calling them): post the work to the user-interface thread as a queued call and return.
struct DownloadCallbacks {
    std::function<void()> started;                       // before the first frame: bar at 0, red on black
    std::function<void(int count)> progress;             // after frame count (1..192) was written
    std::function<void()> succeeded;                     // after the last frame and its pause: bar green
    std::function<void()> bell;                          // the beeper had no sound device: ring the bell
    std::function<void(const DownloadResult&)> finished; // always last, once per download: buttons back
};

// Sends the 192 download frames on a thread of its own, one every 50 ms, then beeps for a second.
// One download at a time. stop() and the destructor end a running download between frames (interrupting
// its pauses and the beep) and join the thread, so nothing the callbacks use is touched afterwards.
class DownloadWorker {
  public:
    enum class Pacing {
        // Frame n leaves at start + (n - 1) x interval: write time does not add up. No frame leaves less
        // than an interval after the one before: a frame that left late (wake-up lag, the process was
        // stopped, the line held the write) moves the schedule on by as much, so frames never bunch to
        // catch up.
        Deadline,
        PlainPause // a pause of one interval after every write (kept for comparison)
    };
    struct Options {
        Pacing pacing = Pacing::Deadline;
        std::chrono::microseconds frameInterval = std::chrono::milliseconds(50);
        unsigned beepHz = 1000;
        std::chrono::milliseconds beepLength = std::chrono::milliseconds(1000);
        // How long one write may wait for the line beyond its time on the wire, given by the controller
        // link to its port; empty: the port's own (CSerialPortBase::kDefaultWriteMargin).
        std::optional<std::chrono::milliseconds> writeMargin;
    };
    // When the frame after one that started writing at began and was written at ended goes: its place in
    // the schedule, next, but never less than an interval after the frame left (began; ended when the line
    // held the write for half an interval or more).
    static std::chrono::steady_clock::time_point NextFrameTime(std::chrono::steady_clock::time_point began,
                                                               std::chrono::steady_clock::time_point ended,
                                                               std::chrono::steady_clock::time_point next,
                                                               std::chrono::microseconds interval);
    // beeper may be null (no tone; the bell callback is called); it must outlive the worker.
    explicit DownloadWorker(IBeeper* beeper, Options options);
    explicit DownloadWorker(IBeeper* beeper) : DownloadWorker(beeper, Options()) {}
    ~DownloadWorker();

    DownloadWorker(const DownloadWorker&) = delete;
    DownloadWorker& operator=(const DownloadWorker&) = delete;

    // Builds the frames from the job's recipe and starts the thread. Refused while a download runs (from
    // start() until the finished callback), when job.write is empty (NotOpen), or when the system will not
    // start a thread. start() and stop() are not to be called from a callback.
    DownloadStartResult start(DownloadJob job, DownloadCallbacks callbacks);

    // Ends a running download between frames and joins its thread. Harmless when none runs.
    void stop();
    // Asks a running download to end, without waiting: the caller may then free a write that is stuck
    // (close the port) before stop() joins the thread.
    void requestStop();

    // True from a successful start() until the finished callback is called.
    bool isRunning() const { return m_busy.load(); }

  private:
    using WriteFn = decltype(DownloadJob::write);
    using ErrorTextFn = decltype(DownloadJob::errorText);
    using DrainFn = decltype(DownloadJob::drain);
    using NotBeforeFn = decltype(DownloadJob::notBefore);
    void Run(std::stop_token stop, const std::vector<DownloadFrame>& frames, const WriteFn& write,
             const ErrorTextFn& errorText, const DrainFn& drain, const NotBeforeFn& notBefore,
             const DownloadCallbacks& cb);
    // Waits until deadline; false when a stop request cut the wait short.
    bool WaitUntil(std::stop_token& stop, std::chrono::steady_clock::time_point deadline);

    IBeeper* m_beeper;
    Options m_options;
    std::mutex m_control; // serialises start(), stop() and the destructor
    std::atomic<bool> m_busy{false};
    std::mutex m_waitMutex;
    std::condition_variable_any m_wake; // woken only by a stop request
    std::jthread m_thread;
};
