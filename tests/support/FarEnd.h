#pragma once

// The controller's end of a pseudo-terminal for the live tests and the latency bench: reads on a thread of
// its own and stamps every six-byte frame with the time its last byte was read.

#include "DownloadFrame.h"
#include "PtyPair.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

// When a frame's last byte arrived, as far as the far end can tell: after `after` (the reader's latest look
// at a quiet line) and by `at` (when it was read). A reader that is scheduled late widens the window
// instead of moving the stamp.
struct Arrival {
    DownloadFrame frame;
    std::chrono::steady_clock::time_point after;
    std::chrono::steady_clock::time_point at;
};

// The controller's end: reads on a thread of its own, looking at the line every millisecond, and stamps
// every frame.
class FarEnd {
  public:
    explicit FarEnd(PtyPair& pty) : m_pty(pty), m_thread([this](std::stop_token stop) { Run(stop); }) {}
    ~FarEnd() { Stop(); }
    void Stop() {
        m_thread.request_stop();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    std::vector<Arrival> Frames() const {
        std::lock_guard lock(m_mutex);
        return m_frames;
    }
    // Waits (a bound only a hang reaches) until n frames arrived.
    bool WaitFor(std::size_t n) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (Frames().size() < n) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

  private:
    void Run(std::stop_token stop) {
        std::vector<std::uint8_t> partial;
        auto quiet = std::chrono::steady_clock::now();
        while (!stop.stop_requested()) {
            const auto before = std::chrono::steady_clock::now();
            std::vector<unsigned char> got;
            if (!m_pty.ReadSome(got, 1)) {
                return;
            }
            const std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now();
            if (got.empty()) {
                quiet = before; // nothing was there when it looked: whatever comes later arrived after this
                continue;
            }
            partial.insert(partial.end(), got.begin(), got.end());
            std::lock_guard lock(m_mutex);
            while (partial.size() >= 6) {
                Arrival a{};
                std::copy_n(partial.begin(), 6, a.frame.begin());
                a.after = quiet;
                a.at = at;
                m_frames.push_back(a);
                partial.erase(partial.begin(), partial.begin() + 6);
            }
        }
    }
    PtyPair& m_pty;
    mutable std::mutex m_mutex;
    std::vector<Arrival> m_frames;
    std::jthread m_thread;
};

inline std::uint16_t FrameValue(const DownloadFrame& f) {
    return static_cast<std::uint16_t>(f[3] << 8 | f[4]);
}

// The least spacing of consecutive frames the far end can vouch for, in milliseconds (a large number for
// fewer than two): per pair the longest the gap may have been (the later frame's stamp less the time after
// which the earlier one arrived). It falls below an interval only when two frames truly left closer; a
// prompt reader makes it at most about a millisecond generous.
inline double MinSpacingMs(const std::vector<Arrival>& frames) {
    double least = 1e9;
    for (std::size_t i = 1; i < frames.size(); ++i) {
        least = std::min(
            least, std::chrono::duration<double, std::milli>(frames[i].at - frames[i - 1].after).count());
    }
    return least;
}
