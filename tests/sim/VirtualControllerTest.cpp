#include "VirtualController.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::chrono_literals;
using Event = VirtualController::Event;

namespace {

// A recipe whose every value tells where it belongs, position 5 included.
struct MarkedRecipe : Recipe {
    MarkedRecipe() {
        for (int c = 0; c < 3; ++c) {
            for (int p = 0; p < 5; ++p) {
                for (int k = 0; k < 8; ++k) {
                    m_levels[c][p][k] = static_cast<std::uint8_t>(1 + c * 40 + p * 8 + k);
                    m_stepMasks[c][p][k] = static_cast<std::uint16_t>(0x8000 | (c << 8) | (p << 4) | k);
                }
            }
        }
    }
};

std::vector<std::uint8_t> Bytes(std::initializer_list<int> v) {
    return {v.begin(), v.end()};
}

std::vector<Event> FeedAll(VirtualController& vc, const std::vector<std::uint8_t>& b,
                           VirtualController::Clock::time_point t) {
    return vc.Feed(b.data(), b.size(), t);
}

int Count(const std::vector<Event>& events, Event::Kind kind) {
    int n = 0;
    for (const auto& e : events) {
        n += e.kind == kind;
    }
    return n;
}

TEST(VirtualController, DecodesAWholeDownloadSplitAnywhereAndKeepsTheRecipe) {
    const MarkedRecipe r;
    const auto frames = BuildDownloadFrames(r.m_levels, r.m_stepMasks);
    VirtualController vc;
    const auto t0 = VirtualController::Clock::now();
    std::vector<Event> events;
    // Frame n arrives at t0 + (n - 1) x 50 ms, in pieces of 1, 2 and 3 bytes.
    for (std::size_t n = 0; n < frames.size(); ++n) {
        const auto t = t0 + n * 50ms;
        std::size_t i = 0;
        for (std::size_t piece = 1 + n % 3; i < 6; i += piece) {
            const auto got = vc.Feed(frames[n].data() + i, std::min(piece, 6 - i), t);
            events.insert(events.end(), got.begin(), got.end());
        }
    }
    ASSERT_EQ(events.size(), 193u);
    for (int n = 1; n <= 192; ++n) {
        const Event& e = events[n - 1];
        ASSERT_EQ(e.kind, Event::Frame);
        EXPECT_EQ(e.number, n);
        EXPECT_EQ(e.sequence, n);
        EXPECT_EQ(e.bytes, std::vector<std::uint8_t>(frames[n - 1].begin(), frames[n - 1].end()));
        EXPECT_EQ(e.msSincePrevious, n == 1 ? -1.0 : 50.0);
    }
    const Event& e33 = events[32]; // camera 1, position 1, channel 1, mask
    EXPECT_TRUE(e33.mask);
    EXPECT_EQ(e33.camera, 1);
    EXPECT_EQ(e33.position, 1);
    EXPECT_EQ(e33.channel, 1);
    EXPECT_EQ(e33.value, r.m_stepMasks[0][0][0]);
    const Event& sum = events.back();
    ASSERT_EQ(sum.kind, Event::DownloadComplete);
    EXPECT_EQ(sum.frames, 192);
    EXPECT_EQ(sum.badFrames, 0);
    EXPECT_EQ(sum.outOfOrder, 0);
    EXPECT_EQ(sum.shortestGapMs, 50.0);
    EXPECT_EQ(sum.longestGapMs, 50.0);
    EXPECT_EQ(sum.totalMs, 191 * 50.0);

    // Positions 1..4 as sent; position 5, which no frame carries, at the new-recipe values.
    for (int c = 0; c < 3; ++c) {
        for (int p = 0; p < 5; ++p) {
            for (int k = 0; k < 8; ++k) {
                EXPECT_EQ(vc.recipe().m_levels[c][p][k], p < 4 ? r.m_levels[c][p][k] : 255);
                EXPECT_EQ(vc.recipe().m_stepMasks[c][p][k], p < 4 ? r.m_stepMasks[c][p][k] : 0);
            }
        }
    }
}

// Each case: some bad bytes, then the good frame AD 21 08 00 FF 7B, which must still be decoded.
TEST(VirtualController, ReportsBadBytesAndResynchronisesOnTheNextHeader) {
    const struct {
        const char* what;
        std::vector<std::uint8_t> bad;
        const char* reason;
        std::vector<std::uint8_t> reported;
    } cases[] = {
        {"stray bytes", Bytes({0x01, 0x02, 0xFF}), "bytes outside a frame", Bytes({0x01, 0x02, 0xFF})},
        {"channel code 0x20", Bytes({0xAD, 0x20, 0x08, 0x00, 0xFF, 0x72}),
         "channel code 0x20 is not 0x21..0x28", Bytes({0xAD, 0x20, 0x08, 0x00, 0xFF, 0x72})},
        {"channel code 0x29", Bytes({0xAD, 0x29}), "channel code 0x29 is not 0x21..0x28",
         Bytes({0xAD, 0x29})},
        {"position 5 address", Bytes({0xAD, 0x21, 0x0C, 0x00, 0x01}),
         "address 0x0C is not one the sender uses", Bytes({0xAD, 0x21, 0x0C, 0x00, 0x01})},
        {"camera 0 address", Bytes({0xAD, 0x21, 0x02}), "address 0x02 is not one the sender uses",
         Bytes({0xAD, 0x21, 0x02})},
        {"camera 4 address", Bytes({0xAD, 0x21, 0x40}), "address 0x40 is not one the sender uses",
         Bytes({0xAD, 0x21, 0x40})},
        {"bad check", Bytes({0xAD, 0x21, 0x08, 0x00, 0xFF, 0x7C}), "check byte 0x7C, expected 0x7B",
         Bytes({0xAD, 0x21, 0x08, 0x00, 0xFF, 0x7C})},
        // The header of a frame cut short by a corrupt byte resynchronises on the next header.
        {"header then stray bytes", Bytes({0xAD, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}),
         "channel code 0x00 is not 0x21..0x28", Bytes({0xAD, 0x00, 0x01, 0x02, 0x03, 0x04})},
        // A corrupted frame whose value holds 0xAD is one bad frame: the header inside it starts nothing.
        {"0xAD in the value", Bytes({0xAD, 0x21, 0x28, 0x00, 0xAD, 0x0A}), "check byte 0x0A, expected 0x09",
         Bytes({0xAD, 0x21, 0x28, 0x00, 0xAD, 0x0A})},
        {"0xAD as a wrong check", Bytes({0xAD, 0x21, 0x08, 0x00, 0xFF, 0xAD}),
         "check byte 0xAD, expected 0x7B", Bytes({0xAD, 0x21, 0x08, 0x00, 0xFF, 0xAD})},
        // A header inside that does start a good frame ends the bad one there.
        {"lone header", Bytes({0xAD}), "channel code 0xAD is not 0x21..0x28", Bytes({0xAD})},
        {"frame cut short", Bytes({0xAD, 0x21, 0x08, 0x00}), "check byte 0x21, expected 0x29",
         Bytes({0xAD, 0x21, 0x08, 0x00})},
    };
    const auto good = Bytes({0xAD, 0x21, 0x08, 0x00, 0xFF, 0x7B});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = c.bad;
        bytes.insert(bytes.end(), good.begin(), good.end());
        // At once, and a byte at a time (a run of stray bytes is then reported by its first byte).
        for (const bool byByte : {false, true}) {
            SCOPED_TRACE(byByte ? "a byte at a time" : "at once");
            VirtualController vc;
            const auto t = VirtualController::Clock::now();
            std::vector<Event> events;
            for (std::size_t i = 0; i < bytes.size(); i += byByte ? 1 : bytes.size()) {
                const auto got = vc.Feed(bytes.data() + i, byByte ? 1 : bytes.size(), t);
                events.insert(events.end(), got.begin(), got.end());
            }
            const auto flushed = vc.Flush(); // the good frame of the first address, alone: a live frame
            events.insert(events.end(), flushed.begin(), flushed.end());
            ASSERT_EQ(events.size(), 2u);
            EXPECT_EQ(events[0].kind, Event::BadFrame);
            EXPECT_EQ(events[0].reason, c.reason);
            if (!byByte || c.reported[0] == 0xAD) {
                EXPECT_EQ(events[0].bytes, c.reported);
            }
            EXPECT_EQ(events[1].kind, Event::Frame);
            EXPECT_EQ(events[1].bytes, good);
            EXPECT_TRUE(events[1].live);
        }
    }
}

// A download's bad frames are those from its first frame on: noise on the line seconds before it started
// belongs to no download.
TEST(VirtualController, BadFramesCountFromTheDownloadsFirstFrame) {
    const auto frames = BuildDownloadFrames(Recipe().m_levels, Recipe().m_stepMasks);
    VirtualController vc;
    const auto t0 = VirtualController::Clock::now();
    EXPECT_EQ(Count(FeedAll(vc, Bytes({0x01, 0x02, 0xAD, 0x00}), t0), Event::BadFrame), 1);
    const auto corrupt = Bytes({0xAD, 0x21, 0x08, 0x00, 0xFF, 0x00});
    std::vector<Event> all;
    for (int n = 0; n < 192; ++n) {
        const auto t = t0 + 5s + n * 50ms;
        auto got = vc.Feed(frames[n].data(), 6, t);
        all.insert(all.end(), got.begin(), got.end());
        if (n == 9) {
            got = FeedAll(vc, corrupt, t + 10ms);
            all.insert(all.end(), got.begin(), got.end());
        }
    }
    EXPECT_EQ(Count(all, Event::BadFrame), 2); // the unfinished AD 00 is given up when the download starts
    ASSERT_EQ(all.back().kind, Event::DownloadComplete);
    EXPECT_EQ(all.back().badFrames, 1);
}

TEST(VirtualController, UnfinishedFrameAndStoppedDownloadAreGivenUp) {
    const auto frames = BuildDownloadFrames(Recipe().m_levels, Recipe().m_stepMasks);
    VirtualController vc;
    const auto t0 = VirtualController::Clock::now();
    int told = 0;
    for (int n = 0; n < 10; ++n) {
        told += Count(vc.Feed(frames[n].data(), 6, t0 + n * 50ms), Event::Frame);
    }
    EXPECT_EQ(told, 10); // the first is told once the second shows it began a download
    // The sender died in the middle of frame 11.
    ASSERT_TRUE(vc.Feed(frames[10].data(), 3, t0 + 500ms).empty());
    EXPECT_TRUE(vc.Tick(t0 + 900ms).empty());
    auto events = vc.Tick(t0 + 1100ms);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, Event::BadFrame);
    EXPECT_EQ(events[0].reason, "incomplete frame");
    events = vc.Tick(t0 + 3000ms);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, Event::DownloadIncomplete);
    EXPECT_EQ(events[0].frames, 10);
    EXPECT_EQ(events[0].badFrames, 1);
    EXPECT_EQ(events[0].totalMs, 450.0);

    // The next download counts from 1 again and completes.
    std::vector<Event> all;
    for (int n = 0; n < 192; ++n) {
        const auto got = vc.Feed(frames[n].data(), 6, t0 + 10s + n * 50ms);
        all.insert(all.end(), got.begin(), got.end());
    }
    EXPECT_EQ(all.front().number, 1);
    ASSERT_EQ(all.back().kind, Event::DownloadComplete);
    EXPECT_EQ(all.back().frames, 192);
    EXPECT_EQ(all.back().badFrames, 0);

    // Flush reports a download in progress when the program ends.
    vc.Feed(frames[0].data(), 6, t0 + 30s);
    vc.Feed(frames[1].data(), 6, t0 + 30s + 50ms);
    events = vc.Flush();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, Event::DownloadIncomplete);
    EXPECT_EQ(events[0].frames, 2);
}

// A download is complete only when each of the 192 frames arrived once and in order; once its last frame has
// arrived, anything else is incomplete and says which frames were missing and which came twice.
TEST(VirtualController, CompleteOnlyWhenEachFrameArrivedOnceAndInOrder) {
    std::vector<int> whole(192);
    for (int n = 0; n < 192; ++n) {
        whole[n] = n + 1;
    }
    auto without = [&whole](int n) {
        auto v = whole;
        v.erase(v.begin() + (n - 1));
        return v;
    };
    auto swapped = whole;
    std::swap(swapped[4], swapped[100]);
    auto twiceNotNext = without(100);
    twiceNotNext.insert(twiceNotNext.begin() + 99, 99); // 1..99, 99, 101..192
    auto lateRepeat = whole;
    lateRepeat.insert(lateRepeat.end() - 1, 50);
    const struct {
        const char* what;
        std::vector<int> sent; // sending-order numbers, in the order they arrive
        Event::Kind kind;
        std::vector<int> missing;
        std::vector<int> repeated;
        int outOfOrder;
    } cases[] = {
        {"whole", whole, Event::DownloadComplete, {}, {}, 0},
        {"99 twice, 100 missing", twiceNotNext, Event::DownloadIncomplete, {100}, {99}, 0},
        {"100 missing", without(100), Event::DownloadIncomplete, {100}, {}, 0},
        {"5 and 101 swapped", swapped, Event::DownloadIncomplete, {}, {}, 2},
        {"50 again before the last", lateRepeat, Event::DownloadIncomplete, {}, {50}, 1},
    };
    const MarkedRecipe r;
    const auto frames = BuildDownloadFrames(r.m_levels, r.m_stepMasks);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        VirtualController vc;
        auto t = VirtualController::Clock::now();
        std::vector<Event> all;
        for (int n : c.sent) {
            t += 50ms;
            const auto got = vc.Feed(frames[n - 1].data(), 6, t);
            all.insert(all.end(), got.begin(), got.end());
        }
        // The summary follows the last frame of the sending order at once.
        ASSERT_EQ(all.size(), c.sent.size() + 1);
        const Event& sum = all.back();
        EXPECT_EQ(sum.kind, c.kind);
        EXPECT_TRUE(sum.lastFrameArrived);
        EXPECT_EQ(sum.frames, static_cast<int>(c.sent.size()));
        EXPECT_EQ(sum.missing, c.missing);
        EXPECT_EQ(sum.repeated, c.repeated);
        EXPECT_EQ(sum.outOfOrder, c.outOfOrder);
    }
    EXPECT_EQ(FrameNumbers({3, 7, 8, 9, 100}), "3, 7-9, 100");
    EXPECT_EQ(FrameNumbers({51, 52, 192}), "51-52, 192");
}

// The sender stops and starts again within kAbandonGap: the first frame of the new download ends the
// running one as incomplete instead of being counted on from it.
TEST(VirtualController, FirstFrameOfANewDownloadEndsTheRunningOne) {
    const MarkedRecipe r;
    const auto frames = BuildDownloadFrames(r.m_levels, r.m_stepMasks);
    VirtualController vc;
    auto t = VirtualController::Clock::now();
    std::vector<Event> all;
    auto send = [&](int from, int to) {
        for (int n = from; n < to; ++n) {
            t += 50ms;
            const auto got = vc.Feed(frames[n].data(), 6, t);
            all.insert(all.end(), got.begin(), got.end());
        }
    };
    send(0, 50);
    t += 1s;      // restarted well within kAbandonGap
    send(0, 142); // 50 + 142 frames: not a whole download
    ASSERT_EQ(all.size(), 50u + 1 + 142);
    EXPECT_EQ(all[50].kind, Event::DownloadIncomplete);
    EXPECT_EQ(all[50].frames, 50);
    EXPECT_EQ(all[50].totalMs, 49 * 50.0);
    EXPECT_EQ(all[51].kind, Event::Frame);
    EXPECT_EQ(all[51].number, 1);
    EXPECT_EQ(all[51].msSincePrevious, -1.0);
    EXPECT_EQ(Count(all, Event::DownloadComplete), 0);
    EXPECT_EQ(all.back().number, 142);

    // Started once more and sent whole: complete, counted from its own first frame.
    all.clear();
    send(0, 192);
    ASSERT_EQ(all.size(), 1u + 192 + 1);
    EXPECT_EQ(all.front().kind, Event::DownloadIncomplete);
    EXPECT_EQ(all.front().frames, 142);
    ASSERT_EQ(all.back().kind, Event::DownloadComplete);
    EXPECT_EQ(all.back().frames, 192);
    EXPECT_EQ(all.back().outOfOrder, 0);
    EXPECT_EQ(all.back().longestGapMs, 50.0);
}

} // namespace

namespace {

// Frames outside a download are live frames: each sets its register at once and none is counted as a
// download or ends in a summary; a lone frame of the first address is one too. A download that follows is
// recognised as ever, and frames after it are live again.
TEST(VirtualController, LiveFramesSetTheRegistersOutsideAnyDownload) {
    VirtualController vc;
    auto t = VirtualController::Clock::now();
    std::vector<Event> events;
    const auto feed = [&](const DownloadFrame& f) {
        t += 60ms;
        const auto got = vc.Feed(f.data(), f.size(), t);
        events.insert(events.end(), got.begin(), got.end());
    };
    feed(MakeSlotFrame(kavo::download::FrameSlot(2, 3, 4, false), 77));
    feed(MakeSlotFrame(kavo::download::FrameSlot(1, 1, 1, false), 5)); // the first address, alone
    feed(MakeSlotFrame(kavo::download::FrameSlot(3, 4, 8, true), 0x8001));
    EXPECT_EQ(vc.recipe().m_levels[1][2][3], 77);
    EXPECT_EQ(vc.recipe().m_levels[0][0][0], 5);
    EXPECT_EQ(vc.recipe().m_stepMasks[2][3][7], 0x8001);

    const MarkedRecipe r;
    for (const DownloadFrame& f : BuildDownloadFrames(r.m_levels, r.m_stepMasks)) {
        feed(f);
    }
    feed(MakeSlotFrame(kavo::download::FrameSlot(1, 2, 3, false), 9));
    t += VirtualController::kAbandonGap * 2;
    const auto tail = vc.Tick(t);
    events.insert(events.end(), tail.begin(), tail.end());
    const auto flushed = vc.Flush();
    events.insert(events.end(), flushed.begin(), flushed.end());

    ASSERT_EQ(events.size(), 3u + 192u + 1u + 1u);
    EXPECT_TRUE(events[0].live);
    EXPECT_EQ(events[0].number, 0);
    EXPECT_TRUE(events[1].live);
    EXPECT_EQ(events[1].msSincePrevious, 60.0);
    EXPECT_TRUE(events[2].live);
    EXPECT_EQ(events[3].number, 1);
    EXPECT_EQ(events[3 + 192].kind, Event::DownloadComplete);
    EXPECT_TRUE(events.back().live);
    EXPECT_EQ(Count(events, Event::DownloadIncomplete), 0);
    Recipe want = r;
    for (auto& camera : want.m_levels) {
        camera[4].fill(Recipe::kNewLevel); // position 5 never travels
    }
    for (auto& camera : want.m_stepMasks) {
        camera[4].fill(Recipe::kNewMask);
    }
    want.m_levels[0][1][2] = 9;
    EXPECT_EQ(vc.recipe(), want);
}

// A slider of the first address dragged while Live is on sends frame after frame to that address: each is
// a live frame, none begins a download, and nothing ends in a summary.
TEST(VirtualController, FramesOfTheFirstAddressAloneAreLiveFrames) {
    const int first = kavo::download::FrameSlot(1, 1, 1, false);
    VirtualController vc;
    auto t = VirtualController::Clock::now();
    std::vector<Event> events;
    for (const std::uint16_t v : {5, 6, 7}) {
        t += 55ms;
        const DownloadFrame f = MakeSlotFrame(first, v);
        const auto got = vc.Feed(f.data(), f.size(), t);
        events.insert(events.end(), got.begin(), got.end());
        EXPECT_EQ(vc.recipe().m_levels[0][0][0], v); // the register at once
    }
    const DownloadFrame other = MakeSlotFrame(kavo::download::FrameSlot(2, 1, 1, false), 9);
    auto got = vc.Feed(other.data(), other.size(), t + 55ms);
    events.insert(events.end(), got.begin(), got.end());
    const DownloadFrame last = MakeSlotFrame(first, 8);
    got = vc.Feed(last.data(), last.size(), t + 110ms);
    events.insert(events.end(), got.begin(), got.end());
    got = vc.Tick(t + 110ms + VirtualController::kAbandonGap + 1ms); // nothing followed: live
    events.insert(events.end(), got.begin(), got.end());

    ASSERT_EQ(events.size(), 5u);
    for (const Event& e : events) {
        EXPECT_EQ(e.kind, Event::Frame);
        EXPECT_TRUE(e.live);
        EXPECT_EQ(e.number, 0);
    }
    EXPECT_EQ(events[4].value, 8);
    EXPECT_TRUE(vc.Flush().empty());
}

// Frames of a download that came closer than the interval (a sender catching up after a stall) are named
// in its summary; gaps a little under it, as reading late makes them, are not.
TEST(VirtualController, NamesFramesThatCameCloserThanTheInterval) {
    const struct {
        const char* what;
        std::chrono::microseconds gap; // between frames 11 and 21 (from frame 12 on)
        std::vector<int> close;
    } cases[] = {
        {"ten frames at once after a stall", 0us, {12, 13, 14, 15, 16, 17, 18, 19, 20, 21}},
        {"read a little late and then on time", 46ms, {}},
    };
    const auto frames = BuildDownloadFrames(Recipe().m_levels, Recipe().m_stepMasks);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        VirtualController vc;
        auto t = VirtualController::Clock::now();
        std::vector<Event> all;
        for (int n = 1; n <= 192; ++n) {
            t += n >= 12 && n <= 21 ? std::chrono::duration_cast<VirtualController::Clock::duration>(c.gap)
                                    : std::chrono::duration_cast<VirtualController::Clock::duration>(50ms);
            const auto got = vc.Feed(frames[n - 1].data(), 6, t);
            all.insert(all.end(), got.begin(), got.end());
        }
        ASSERT_EQ(all.back().kind, Event::DownloadComplete); // every frame came, once and in order
        EXPECT_EQ(all.back().closeFrames, c.close);
        std::vector<int> marked;
        for (const Event& e : all) {
            if (e.kind == Event::Frame && e.close) {
                marked.push_back(e.sequence);
            }
        }
        EXPECT_EQ(marked, c.close);
    }
}

} // namespace
