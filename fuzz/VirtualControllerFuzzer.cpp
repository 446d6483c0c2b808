// Timed chunks of arbitrary bytes into the virtual controller's frame decoder, then a clean run of frames.
//
// Input: one byte that picks where the clean run starts in the sending order, then records
//   [gap since the previous record, in 10-ms units][length][length bytes]
// (a record of length 0 is a moment of silence: Tick). Gaps reach 2.55 s, past both the byte timeout
// (0.5 s) and the gap that abandons a download (2 s).
//
// Every event is checked against the frame layout and the download counting. Then the clean run (frames
// without 0xAD anywhere but the header) follows the noise on two copies of the controller:
//   - after a pause longer than the byte timeout: every clean frame must decode;
//   - at once: every clean frame must decode; a decoder that looks at the byte after a candidate frame
//     can tell, since the clean run has its headers where its frames begin.
//
// Known fault: the decoder takes the first six bytes that pass as a frame, so noise that ends in a partial
// frame can swallow the start of the first clean frame (AD 25 0A + AD 27 08 00 07 85 decodes as
// AD 25 0A AD 27 08, and the clean frame is lost). Right after the noise only the clean frames after the
// first are demanded unless KAVO_FUZZ_KNOWN_FAULTS=1.

#include "DownloadFrame.h"
#include "FuzzSupport.h"
#include "VirtualController.h"

#include <algorithm>

using namespace kavo::download;
using Event = VirtualController::Event;
using Clock = VirtualController::Clock;

namespace {

constexpr std::size_t kCleanRun = 4;

// Frames of the sending order whose values keep 0xAD out of bytes 1..5, so that the decoder's only way to
// lose one is through bytes the noise left pending.
std::vector<DownloadFrame> CleanFrames() {
    std::vector<DownloadFrame> frames;
    int n = 0;
    for (int c = 1; c <= kCameraCount; ++c) {
        for (bool mask : {false, true}) {
            for (int p = 1; p <= kSentPositionCount; ++p) {
                for (int k = 1; k <= kChannelCount; ++k, ++n) {
                    const auto value = static_cast<std::uint16_t>(mask ? 0x8001 ^ (n << 4) : 1 + n);
                    const DownloadFrame f = MakeDownloadFrame(k, FrameAddress(c, p, mask), value);
                    if (std::find(f.begin() + 1, f.end(), kFrameHeader) == f.end()) {
                        frames.push_back(f);
                    }
                }
            }
        }
    }
    return frames;
}

// What a correct stream of events looks like, checked as the events arrive.
struct EventChecker {
    int count = 0; // frames in the current download
    bool completeDue = false;

    void Check(const std::vector<Event>& events) {
        for (const Event& e : events) {
            FUZZ_CHECK(!completeDue || e.kind == Event::DownloadComplete,
                       "the 192nd frame was not followed by "
                       "the end of the download");
            switch (e.kind) {
            case Event::Frame: {
                FUZZ_CHECK(e.bytes.size() == 6, "frame of %zu bytes", e.bytes.size());
                const std::string hex = HexBytes(e.bytes.data(), e.bytes.size());
                FUZZ_CHECK(e.channel >= 1 && e.channel <= kChannelCount && e.camera >= 1 &&
                               e.camera <= kCameraCount && e.position >= 1 &&
                               e.position <= kSentPositionCount,
                           "frame %s read as channel %d camera %d position %d", hex.c_str(), e.channel,
                           e.camera, e.position);
                const DownloadFrame sent =
                    MakeDownloadFrame(e.channel, FrameAddress(e.camera, e.position, e.mask), e.value);
                FUZZ_CHECK(std::equal(sent.begin(), sent.end(), e.bytes.begin()),
                           "frame %s read as one the sender would send as %s", hex.c_str(),
                           HexBytes(sent.data(), sent.size()).c_str());
                FUZZ_CHECK(e.sequence >= 1 && e.sequence <= kFrameCount, "sequence %d", e.sequence);
                FUZZ_CHECK(e.number == count + 1, "frame %s numbered %d after %d", hex.c_str(), e.number,
                           count);
                FUZZ_CHECK((e.number == 1) == (e.msSincePrevious < 0), "frame %d: %g ms since the previous",
                           e.number, e.msSincePrevious);
                count = e.number;
                completeDue = count == kFrameCount;
                break;
            }
            case Event::BadFrame:
                FUZZ_CHECK(!e.bytes.empty() && !e.reason.empty(), "bad frame without bytes or reason");
                break;
            case Event::DownloadComplete:
            case Event::DownloadIncomplete:
                FUZZ_CHECK(e.frames == count, "summary of %d frames after %d", e.frames, count);
                FUZZ_CHECK(e.kind == Event::DownloadComplete ? count == kFrameCount
                                                             : count >= 1 && count < kFrameCount,
                           "%s download of %d frames",
                           e.kind == Event::DownloadComplete ? "complete" : "incomplete", count);
                FUZZ_CHECK(e.outOfOrder >= 0 && e.outOfOrder <= e.frames && e.badFrames >= 0,
                           "%d out of order, %d bad", e.outOfOrder, e.badFrames);
                FUZZ_CHECK(e.totalMs >= 0 && e.shortestGapMs >= 0 && e.shortestGapMs <= e.longestGapMs,
                           "gaps %g..%g, total %g", e.shortestGapMs, e.longestGapMs, e.totalMs);
                count = 0;
                completeDue = false;
                break;
            }
        }
    }
};

// Feeds the clean run at time t and flushes; checks that the last frames decoded are the clean run (all of
// it, or all but its first frame).
void FeedClean(VirtualController& vc, EventChecker& checker, const std::vector<DownloadFrame>& clean,
               Clock::time_point t, bool wholeRun, const char* when) {
    std::vector<std::uint8_t> bytes;
    for (const DownloadFrame& f : clean) {
        bytes.insert(bytes.end(), f.begin(), f.end());
    }
    std::vector<Event> events = vc.Feed(bytes.data(), bytes.size(), t);
    const std::vector<Event> flushed = vc.Flush();
    events.insert(events.end(), flushed.begin(), flushed.end());
    checker.Check(events);

    std::vector<const Event*> frames;
    for (const Event& e : events) {
        if (e.kind == Event::Frame) {
            frames.push_back(&e);
        }
    }
    const std::size_t expected = wholeRun ? clean.size() : clean.size() - 1;
    FUZZ_CHECK(frames.size() >= expected, "clean run %s: %zu frames decoded of %zu", when, frames.size(),
               expected);
    for (std::size_t i = 0; i < expected; ++i) {
        const DownloadFrame& want = clean[clean.size() - expected + i];
        const Event& got = *frames[frames.size() - expected + i];
        FUZZ_CHECK(std::equal(want.begin(), want.end(), got.bytes.begin()),
                   "clean run %s: frame %zu is %s, decoded %s", when, clean.size() - expected + i + 1,
                   HexBytes(want.data(), want.size()).c_str(),
                   HexBytes(got.bytes.data(), got.bytes.size()).c_str());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<DownloadFrame> cleanFrames = CleanFrames();
    static const bool strict = fuzz::CheckKnownFaults();
    if (size == 0) {
        return 0;
    }
    const std::size_t start = data[0] % (cleanFrames.size() - kCleanRun + 1);
    const std::vector<DownloadFrame> clean(cleanFrames.begin() + static_cast<std::ptrdiff_t>(start),
                                           cleanFrames.begin() +
                                               static_cast<std::ptrdiff_t>(start + kCleanRun));

    // A fixed origin keeps a run reproducible; any point of the steady clock will do.
    Clock::time_point t = Clock::time_point{} + std::chrono::hours(1);
    VirtualController now;
    VirtualController paused;
    EventChecker nowChecker;
    EventChecker pausedChecker;
    std::size_t i = 1;
    while (i + 2 <= size) {
        t += std::chrono::milliseconds(10 * data[i]);
        const std::size_t len = std::min<std::size_t>(data[i + 1], size - i - 2);
        const std::uint8_t* chunk = data + i + 2;
        i += 2 + len;
        if (len == 0) {
            nowChecker.Check(now.Tick(t));
            pausedChecker.Check(paused.Tick(t));
        } else {
            nowChecker.Check(now.Feed(chunk, len, t));
            pausedChecker.Check(paused.Feed(chunk, len, t));
        }
    }

    FeedClean(now, nowChecker, clean, t, strict, "right after the noise");
    FeedClean(paused, pausedChecker, clean,
              t + VirtualController::kByteTimeout + std::chrono::milliseconds(1), true, "after a pause");
    return 0;
}
