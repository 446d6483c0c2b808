#include "VirtualController.h"

#include <algorithm>
#include <cstdio>

using namespace kavo::download;

namespace {

constexpr std::size_t kFrameSize = std::tuple_size_v<DownloadFrame>;

double Ms(VirtualController::Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::string Hex2(unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "0x%02X", v);
    return b;
}

bool IsChannelCode(std::uint8_t b) {
    return b >= kChannelCodeBase + 1 && b <= kChannelCodeBase + Recipe::kChannels;
}

// The sender uses 24 addresses: bits 0..2 position - 1 (0..3), bits 3..4 camera (1..3), bit 5 mask.
bool IsAddress(std::uint8_t a) {
    const int camera = (a >> 3) & 3;
    return (a & 0xC0) == 0 && camera >= 1 && (a & 7) < kSentPositionCount;
}

} // namespace

std::string HexBytes(const std::uint8_t* data, std::size_t size) {
    std::string s;
    char b[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(b, sizeof b, i == 0 ? "%02X" : " %02X", data[i]);
        s += b;
    }
    return s;
}

std::string FrameNumbers(const std::vector<int>& numbers) {
    std::string s;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) {
            ++j;
        }
        s += (s.empty() ? "" : ", ") + std::to_string(numbers[i]);
        if (j > i) {
            s += "-" + std::to_string(numbers[j]);
        }
        i = j + 1;
    }
    return s;
}

VirtualController::VirtualController() = default;

std::vector<VirtualController::Event> VirtualController::Feed(const std::uint8_t* data, std::size_t size,
                                                              Clock::time_point now) {
    std::vector<Event> out = Tick(now);
    const bool hadPending = !m_pending.empty();
    m_pending.insert(m_pending.end(), data, data + size);
    const std::size_t before = m_pending.size();
    Consume(now, out);
    // A frame begun in this call starts its byte timeout now.
    if (!m_pending.empty() && (!hadPending || m_pending.size() < before)) {
        m_pendingSince = now;
    }
    return out;
}

std::vector<VirtualController::Event> VirtualController::Tick(Clock::time_point now) {
    std::vector<Event> out;
    if (!m_pending.empty() && now - m_pendingSince > kByteTimeout) {
        std::string reason;
        Reject(Examine(0, &reason) == Verdict::Bad ? reason : "incomplete frame", m_pending.size(), out);
        m_pending.clear();
        m_inStray = false;
    }
    if (m_held && now - m_heldAt > kAbandonGap) {
        ReleaseHeld(out);
    }
    if (m_count > 0 && now - m_last > kAbandonGap) {
        EndShort(out);
    }
    return out;
}

std::vector<VirtualController::Event> VirtualController::Flush() {
    std::vector<Event> out;
    if (!m_pending.empty()) {
        std::string reason;
        Reject(Examine(0, &reason) == Verdict::Bad ? reason : "incomplete frame", m_pending.size(), out);
        m_pending.clear();
    }
    // Nothing followed it: a frame of the first address alone was a live frame.
    ReleaseHeld(out);
    if (m_count > 0) {
        out.push_back(Summary(false));
        ResetDownload();
    }
    return out;
}

void VirtualController::EndShort(std::vector<Event>& out) {
    out.push_back(Summary(false));
    ResetDownload();
}

void VirtualController::ReleaseHeld(std::vector<Event>& out) {
    if (!m_held) {
        return;
    }
    Event e = std::move(*m_held);
    m_held.reset();
    e.live = true;
    out.push_back(std::move(e));
}

void VirtualController::Reject(const std::string& reason, std::size_t take, std::vector<Event>& out) {
    Event e;
    e.kind = Event::BadFrame;
    e.bytes.assign(m_pending.begin(),
                   m_pending.begin() + static_cast<std::ptrdiff_t>(std::min(take, m_pending.size())));
    e.reason = reason;
    out.push_back(std::move(e));
    // Noise before a download's first frame is not that download's.
    if (m_count > 0) {
        ++m_bad;
    }
}

VirtualController::Verdict VirtualController::Examine(std::size_t at, std::string* reason) const {
    const std::size_t have = m_pending.size() - at;
    const std::uint8_t* f = m_pending.data() + at;
    if (have >= 2 && !IsChannelCode(f[1])) {
        *reason = "channel code " + Hex2(f[1]) + " is not 0x21..0x28";
        return Verdict::Bad;
    }
    if (have >= 3 && !IsAddress(f[2])) {
        *reason = "address " + Hex2(f[2]) + " is not one the sender uses";
        return Verdict::Bad;
    }
    if (have < 6) {
        return Verdict::Short;
    }
    const std::uint8_t check = f[0] ^ f[1] ^ f[2] ^ f[3] ^ f[4];
    if (check != f[5]) {
        *reason = "check byte " + Hex2(f[5]) + ", expected " + Hex2(check);
        return Verdict::Bad;
    }
    return Verdict::Good;
}

void VirtualController::Consume(Clock::time_point now, std::vector<Event>& out) {
    while (!m_pending.empty()) {
        if (m_pending[0] != kFrameHeader) {
            // Resynchronise: everything up to the next header is outside any frame. Bytes that follow a
            // rejected frame belong to it; a run of other bytes is reported once.
            const auto next = std::find(m_pending.begin(), m_pending.end(), kFrameHeader);
            const auto n = static_cast<std::size_t>(next - m_pending.begin());
            if (!m_inStray) {
                Reject("bytes outside a frame", n, out);
            }
            m_inStray = next == m_pending.end();
            m_pending.erase(m_pending.begin(), next);
            continue;
        }
        m_inStray = false;
        std::string bad;
        const Verdict verdict = Examine(0, &bad);
        if (verdict == Verdict::Short) {
            return; // wait for the rest of the frame
        }
        if (verdict == Verdict::Bad) {
            // The value and check bytes may hold 0xAD too. A header inside the bad candidate's six bytes
            // starts a new frame only when a whole good frame follows from it; otherwise the six bytes are
            // one bad frame, and the bytes after them up to the next header belong to the same damage.
            std::size_t split = 0;
            bool undecided = false;
            std::string ignored;
            for (std::size_t i = 1; i < kFrameSize && split == 0 && !undecided; ++i) {
                if (i >= m_pending.size()) {
                    undecided = true; // byte i may yet be a header
                } else if (m_pending[i] == kFrameHeader) {
                    const Verdict inner = Examine(i, &ignored);
                    split = inner == Verdict::Good ? i : 0;
                    undecided = inner == Verdict::Short;
                }
            }
            if (split == 0 && undecided) {
                return; // wait for the bytes that decide
            }
            const std::size_t take = split != 0 ? split : kFrameSize;
            Reject(bad, take, out);
            m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(take));
            m_inStray = split == 0;
            continue;
        }

        Event e;
        e.kind = Event::Frame;
        e.bytes.assign(m_pending.begin(), m_pending.begin() + 6);
        m_pending.erase(m_pending.begin(), m_pending.begin() + 6);
        const std::uint8_t a = e.bytes[2];
        e.channel = e.bytes[1] - kChannelCodeBase;
        e.camera = (a >> 3) & 3;
        e.position = (a & 7) + 1;
        e.mask = (a & kMaskAddressBit) != 0;
        e.value = static_cast<std::uint16_t>(e.bytes[3] << 8 | e.bytes[4]);
        e.sequence = 64 * (e.camera - 1) + (e.mask ? 32 : 0) + 8 * (e.position - 1) + e.channel;
        // Every good frame sets its register, in a download or alone.
        if (e.mask) {
            m_recipe.m_stepMasks[e.camera - 1][e.position - 1][e.channel - 1] = e.value;
        } else {
            // A level travels in the low byte; the high byte is 0 from this sender.
            m_recipe.m_levels[e.camera - 1][e.position - 1][e.channel - 1] =
                static_cast<std::uint8_t>(e.value & 0xFF);
        }
        // A held frame of the first address followed by the second frame began a download; followed by
        // anything else, it was a live frame.
        if (m_held && e.sequence == 2) {
            Event first = std::move(*m_held);
            m_held.reset();
            CountInDownload(std::move(first), m_heldAt, out);
        } else {
            ReleaseHeld(out);
        }
        // The first frame of the sending order while frames are counted: the sender started a new download
        // before the running one was given up (restarted within kAbandonGap). The running one ends short.
        if (e.sequence == 1 && m_count > 0) {
            EndShort(out);
        }
        const double sincePrevious = m_anyGood ? Ms(now - m_lastGood) : -1;
        m_anyGood = true;
        m_lastGood = now;
        if (m_count == 0 && e.sequence == 1) {
            e.msSincePrevious = sincePrevious; // as a live frame; a download's first has none
            m_held = std::move(e);
            m_heldAt = now;
            continue;
        }
        if (m_count == 0) {
            e.live = true;
            e.msSincePrevious = sincePrevious;
            out.push_back(std::move(e));
            continue;
        }
        CountInDownload(std::move(e), now, out);
    }
}

void VirtualController::CountInDownload(Event e, Clock::time_point now, std::vector<Event>& out) {
    e.live = false;
    e.msSincePrevious = -1;
    e.number = ++m_count;
    e.arrivedLate = e.sequence < m_lastSequence;
    e.repeat = m_arrivals[static_cast<std::size_t>(e.sequence)]++ > 0;
    m_lastSequence = e.sequence;
    if (m_count == 1) {
        m_first = now;
    } else {
        const double gap = Ms(now - m_last);
        e.msSincePrevious = gap;
        m_shortestGap = m_count == 2 ? gap : std::min(m_shortestGap, gap);
        m_longestGap = m_count == 2 ? gap : std::max(m_longestGap, gap);
        e.close = gap < Ms(kFrameInterval - kReadSlack);
        if (e.close) {
            m_close.push_back(e.sequence);
        }
    }
    m_last = now;
    if (e.arrivedLate) {
        ++m_outOfOrder;
    }
    const bool last = e.sequence == kFrameCount;
    out.push_back(std::move(e));
    if (last) {
        out.push_back(Summary(true));
        ResetDownload();
    }
}

VirtualController::Event VirtualController::Summary(bool lastFrameArrived) const {
    Event e;
    e.frames = m_count;
    e.lastFrameArrived = lastFrameArrived;
    for (int n = 1; n <= kFrameCount; ++n) {
        const int arrivals = m_arrivals[static_cast<std::size_t>(n)];
        if (arrivals == 0) {
            e.missing.push_back(n);
        } else if (arrivals > 1) {
            e.repeated.push_back(n);
        }
    }
    const bool whole = lastFrameArrived && e.missing.empty() && e.repeated.empty() && m_outOfOrder == 0;
    e.kind = whole ? Event::DownloadComplete : Event::DownloadIncomplete;
    e.badFrames = m_bad;
    e.outOfOrder = m_outOfOrder;
    e.closeFrames = m_close;
    std::sort(e.closeFrames.begin(), e.closeFrames.end());
    e.shortestGapMs = m_shortestGap;
    e.longestGapMs = m_longestGap;
    e.totalMs = m_count > 0 ? Ms(m_last - m_first) : 0;
    return e;
}

void VirtualController::ResetDownload() {
    m_count = 0;
    m_bad = 0;
    m_outOfOrder = 0;
    m_lastSequence = 0;
    m_arrivals.fill(0);
    m_close.clear();
    m_shortestGap = 0;
    m_longestGap = 0;
}
