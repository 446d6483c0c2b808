#include "VirtualController.h"

#include <algorithm>
#include <cstdio>

using namespace kavo::download;

namespace {

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
        Reject("incomplete frame", m_pending.size(), out);
        m_pending.clear();
        m_inStray = false;
    }
    if (m_count > 0 && now - m_last > kAbandonGap) {
        out.push_back(Summary(Event::DownloadIncomplete));
        ResetDownload();
    }
    return out;
}

std::vector<VirtualController::Event> VirtualController::Flush() {
    std::vector<Event> out;
    if (!m_pending.empty()) {
        Reject("incomplete frame", m_pending.size(), out);
        m_pending.clear();
    }
    if (m_count > 0) {
        out.push_back(Summary(Event::DownloadIncomplete));
        ResetDownload();
    }
    return out;
}

void VirtualController::Reject(const std::string& reason, std::size_t take, std::vector<Event>& out) {
    Event e;
    e.kind = Event::BadFrame;
    e.bytes.assign(m_pending.begin(),
                   m_pending.begin() + static_cast<std::ptrdiff_t>(std::min(take, m_pending.size())));
    e.reason = reason;
    out.push_back(std::move(e));
    ++m_bad;
}

void VirtualController::Consume(Clock::time_point now, std::vector<Event>& out) {
    while (!m_pending.empty()) {
        if (m_pending[0] != kFrameHeader) {
            // Resynchronise: everything up to the next header is outside any frame. Bytes that follow a
            // rejected header were reported with it; a run of other bytes is reported once.
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
        if (m_pending.size() >= 2 && !IsChannelCode(m_pending[1])) {
            bad = "channel code " + Hex2(m_pending[1]) + " is not 0x21..0x28";
        } else if (m_pending.size() >= 3 && !IsAddress(m_pending[2])) {
            bad = "address " + Hex2(m_pending[2]) + " is not one the sender uses";
        } else if (m_pending.size() >= 6) {
            const std::uint8_t check =
                m_pending[0] ^ m_pending[1] ^ m_pending[2] ^ m_pending[3] ^ m_pending[4];
            if (check != m_pending[5]) {
                bad = "check byte " + Hex2(m_pending[5]) + ", expected " + Hex2(check);
            }
        } else {
            return; // wait for the rest of the frame
        }
        if (!bad.empty()) {
            // Report the candidate up to the next header (which may begin a good frame), then resynchronise
            // on that header; the bytes before it belong to this bad frame and are not reported again.
            const auto next = std::find(m_pending.begin() + 1, m_pending.end(), kFrameHeader);
            Reject(bad, std::min<std::size_t>(6, static_cast<std::size_t>(next - m_pending.begin())), out);
            m_pending.erase(m_pending.begin());
            m_inStray = true;
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
        // The first frame of the sending order while frames are counted: the sender started a new download
        // before the running one was given up (restarted within kAbandonGap). The running one ends short.
        if (e.sequence == 1 && m_count > 0) {
            out.push_back(Summary(Event::DownloadIncomplete));
            ResetDownload();
        }
        e.number = ++m_count;
        if (m_count == 1) {
            m_first = now;
        } else {
            const double gap = Ms(now - m_last);
            e.msSincePrevious = gap;
            m_shortestGap = m_count == 2 ? gap : std::min(m_shortestGap, gap);
            m_longestGap = m_count == 2 ? gap : std::max(m_longestGap, gap);
        }
        m_last = now;
        if (e.number != e.sequence) {
            ++m_outOfOrder;
        }
        if (e.mask) {
            m_recipe.m_stepMasks[e.camera - 1][e.position - 1][e.channel - 1] = e.value;
        } else {
            // A level travels in the low byte; the high byte is 0 from this sender.
            m_recipe.m_levels[e.camera - 1][e.position - 1][e.channel - 1] =
                static_cast<std::uint8_t>(e.value & 0xFF);
        }
        out.push_back(std::move(e));
        if (m_count == kFrameCount) {
            out.push_back(Summary(Event::DownloadComplete));
            ResetDownload();
        }
    }
}

VirtualController::Event VirtualController::Summary(Event::Kind kind) const {
    Event e;
    e.kind = kind;
    e.frames = m_count;
    e.badFrames = m_bad;
    e.outOfOrder = m_outOfOrder;
    e.shortestGapMs = m_shortestGap;
    e.longestGapMs = m_longestGap;
    e.totalMs = m_count > 0 ? Ms(m_last - m_first) : 0;
    return e;
}

void VirtualController::ResetDownload() {
    m_count = 0;
    m_bad = 0;
    m_outOfOrder = 0;
    m_shortestGap = 0;
    m_longestGap = 0;
}
