#include "DownloadWorker.h"

#include "Beeper.h"
#include "TextCatalogue.h"

#include <algorithm>
#include <exception>
#include <system_error>

namespace {
using Clock = std::chrono::steady_clock;

// An exception ended the download: inside the write of frame writing (1..192), or, with writing 0, in a step
// after frame result.framesSent.
void Fail(DownloadResult& result, int writing, const char* why) {
    result.ok = false;
    if (writing > 0) {
        result.failure = DownloadResult::Failure::Write;
        result.failedFrame = writing;
    } else {
        result.failure = DownloadResult::Failure::AfterFrame;
        result.failedFrame = 0;
    }
    result.errorText = why;
}
} // namespace

std::string DescribeDownloadFailure(const DownloadResult& result, const std::string& port) {
    const std::string total = std::to_string(kavo::download::kFrameCount);
    const std::string& why = result.errorText;
    if (result.failure == DownloadResult::Failure::Write) {
        return FillText(KAVO_TR("DownloadWorker", "writing frame %1 of %2 to %3 failed: %4"),
                        {std::to_string(result.failedFrame), total, port, why});
    }
    if (result.failure == DownloadResult::Failure::Drain) {
        return FillText(KAVO_TR("DownloadWorker", "the %1 frames written to %2 did not leave the port: %3"),
                        {std::to_string(result.framesSent), port, why});
    }
    if (result.framesSent >= kavo::download::kFrameCount) {
        return FillText(
            KAVO_TR("DownloadWorker", "all %1 frames were written to %2, then the download failed: %3"),
            {total, port, why});
    }
    if (result.framesSent == 0) {
        return FillText(KAVO_TR("DownloadWorker", "the download to %1 failed before the first frame: %2"),
                        {port, why});
    }
    return FillText(KAVO_TR("DownloadWorker", "the download to %1 stopped after frame %2 of %3: %4"),
                    {port, std::to_string(result.framesSent), total, why});
}

Clock::time_point DownloadWorker::NextFrameTime(Clock::time_point began, Clock::time_point ended,
                                                Clock::time_point next, std::chrono::microseconds interval) {
    const Clock::time_point left = ended - began >= interval / 2 ? ended : began;
    return std::max(next, left + interval);
}

DownloadWorker::DownloadWorker(IBeeper* beeper, Options options) : m_beeper(beeper), m_options(options) {}

DownloadWorker::~DownloadWorker() {
    stop();
}

DownloadStartResult DownloadWorker::start(DownloadJob job, DownloadCallbacks callbacks) {
    std::lock_guard control(m_control);
    if (m_busy.load() || std::this_thread::get_id() == m_thread.get_id()) {
        return DownloadStartResult::AlreadyRunning;
    }
    if (!job.write) {
        return DownloadStartResult::NotOpen;
    }
    // The frames are all the thread needs of the recipe.
    std::vector<DownloadFrame> frames = BuildDownloadFrames(job.recipe.m_levels, job.recipe.m_stepMasks);
    // The previous download has delivered its finished notice; its thread is on its way out.
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_busy.store(true);
    try {
        m_thread = std::jthread([this, frames = std::move(frames), write = std::move(job.write),
                                 errorText = std::move(job.errorText), drain = std::move(job.drain),
                                 notBefore = std::move(job.notBefore),
                                 cb = std::move(callbacks)](std::stop_token stop) {
            Run(stop, frames, write, errorText, drain, notBefore, cb);
        });
    } catch (const std::system_error&) {
        m_busy.store(false);
        return DownloadStartResult::NoThread;
    }
    return DownloadStartResult::Started;
}

void DownloadWorker::stop() {
    std::lock_guard control(m_control);
    if (!m_thread.joinable()) {
        return;
    }
    m_thread.request_stop(); // wakes m_wake through the stop token
    if (std::this_thread::get_id() != m_thread.get_id()) {
        m_thread.join();
    }
}

void DownloadWorker::requestStop() {
    std::lock_guard control(m_control);
    if (m_thread.joinable()) {
        m_thread.request_stop();
    }
}

bool DownloadWorker::WaitUntil(std::stop_token& stop, Clock::time_point deadline) {
    std::unique_lock lock(m_waitMutex);
    // Nothing but a stop request or the deadline ends the wait.
    m_wake.wait_until(lock, stop, deadline, [] { return false; });
    return !stop.stop_requested();
}

void DownloadWorker::Run(std::stop_token stop, const std::vector<DownloadFrame>& frames, const WriteFn& write,
                         const ErrorTextFn& errorText, const DrainFn& drain, const NotBeforeFn& notBefore,
                         const DownloadCallbacks& cb) {
    DownloadResult result;
    int writing = 0; // the frame being written (its write or its error text), 0 between writes
    // No exception leaves this thread: a throwing callback or writer ends the download as a failure.
    try {
        if (cb.started) {
            cb.started();
        }
        bool running = !stop.stop_requested();
        if (running && notBefore) {
            running = WaitUntil(stop, notBefore());
        }
        // The schedule: frame n + 1 is due at start + n x interval; a frame that left late moves start on.
        Clock::time_point start = Clock::now();
        Clock::time_point due = start;
        for (std::size_t i = 0; running && i < frames.size(); ++i) {
            const int n = static_cast<int>(i) + 1;
            const int size = static_cast<int>(frames[i].size());
            writing = n;
            const Clock::time_point began = Clock::now();
            const int written = write(frames[i].data(), size);
            const Clock::time_point ended = Clock::now();
            if (written != size) {
                result.failure = DownloadResult::Failure::Write;
                result.failedFrame = n;
                if (written < 0) {
                    // Only a write that returned -1 left an error on the port; after a short write the
                    // port's last error is stale or "success".
                    result.errorText = errorText ? errorText() : std::string();
                    if (result.errorText.empty()) {
                        result.errorText = KAVO_TR("DownloadWorker", "write failed");
                    }
                } else if (written < size) {
                    result.errorText = FillText(KAVO_TR("DownloadWorker", "only %1 of %2 bytes were written"),
                                                {std::to_string(written), std::to_string(size)});
                } else {
                    result.errorText =
                        FillText(KAVO_TR("DownloadWorker", "the port reported %1 bytes written for %2"),
                                 {std::to_string(written), std::to_string(size)});
                }
                break;
            }
            writing = 0;
            result.framesSent = n;
            if (cb.progress) {
                cb.progress(n);
            }
            if (m_options.pacing == Pacing::Deadline) {
                const Clock::time_point next =
                    NextFrameTime(began, ended, start + n * m_options.frameInterval, m_options.frameInterval);
                start = next - n * m_options.frameInterval;
                due = next;
            } else {
                due = Clock::now() + m_options.frameInterval;
            }
            running = WaitUntil(stop, due);
        }
        result.ok = result.failedFrame == 0 && result.framesSent == static_cast<int>(frames.size());
        // Written is not yet sent: the bar turns green only once the frames have left the port.
        if (result.ok && !stop.stop_requested() && drain && !drain()) {
            result.ok = false;
            result.failure = DownloadResult::Failure::Drain;
            result.errorText = errorText ? errorText() : std::string();
            if (result.errorText.empty()) {
                result.errorText = KAVO_TR("DownloadWorker", "the frames were still queued");
            }
        }
        result.stopped = stop.stop_requested();
        if (result.ok && !result.stopped) {
            if (cb.succeeded) {
                cb.succeeded();
            }
            const Clock::time_point beepStart = Clock::now();
            const auto ms = static_cast<unsigned>(m_options.beepLength.count());
            const bool toned = m_beeper != nullptr && m_beeper->beep(m_options.beepHz, ms, stop);
            if (!toned && cb.bell) {
                cb.bell();
            }
            // The operator gets the buttons back one beep length after the bar turned green, tone or not.
            WaitUntil(stop, beepStart + m_options.beepLength);
            result.stopped = stop.stop_requested();
        }
    } catch (const std::exception& e) {
        Fail(result, writing, e.what());
    } catch (...) {
        Fail(result, writing, "unexpected error");
    }
    m_busy.store(false);
    try {
        if (cb.finished) {
            cb.finished(result);
        }
    } catch (...) {
        // Nothing else to tell: the download is over.
    }
}
