#pragma once

#include "DownloadFrame.h"
#include "Recipe.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The receiving side of the download link: turns the bytes that arrive from the sender into frames,
// keeps the recipe they carry and measures the timing of each download. No I/O of its own, so that the
// decoding can be tested with plain bytes; kavo-cli simulate puts it behind a pseudo-terminal.
class VirtualController {
  public:
    using Clock = std::chrono::steady_clock;

    // A gap longer than this between two frames ends a download that has not reached 192 frames; the
    // next frame starts a new one. The sender pauses 50 ms between frames. A first frame of the sending
    // order (AD 21 08 ..) also ends a download in progress, however soon it follows.
    static constexpr std::chrono::milliseconds kAbandonGap{2000};
    // A frame begun but not finished within this time is given up as bad when the next byte arrives.
    static constexpr std::chrono::milliseconds kByteTimeout{500};

    struct Event {
        enum Kind {
            Frame,              // a good frame, fields below
            BadFrame,           // bytes that do not form a frame; reason and bytes below
            DownloadComplete,   // the 192nd frame of a download arrived; summary below
            DownloadIncomplete, // a download stopped short (gap longer than kAbandonGap, or the first frame
                                // of a new download arrived); summary below
        };
        Kind kind = Frame;
        // Frame
        int number = 0;   // 1.. within the current download
        int sequence = 0; // its number in the sending order, from its address and channel
        int camera = 0;   // 1..3
        int position = 0; // 1..4
        bool mask = false;
        int channel = 0; // 1..8
        std::uint16_t value = 0;
        double msSincePrevious = -1; // -1 for the first frame of a download
        // Frame and BadFrame
        std::vector<std::uint8_t> bytes;
        std::string reason; // BadFrame only
        // DownloadComplete and DownloadIncomplete
        int frames = 0;
        int badFrames = 0;
        int outOfOrder = 0; // frames whose sending-order number differed from their count
        double shortestGapMs = 0;
        double longestGapMs = 0;
        double totalMs = 0; // first frame to last frame
    };

    VirtualController();

    // Feeds bytes that arrived at time now; returns what they completed, in order.
    std::vector<Event> Feed(const std::uint8_t* data, std::size_t size, Clock::time_point now);
    // Gives up a frame or a download that has been silent too long (kByteTimeout, kAbandonGap). Feed does
    // this itself; call it while no bytes arrive so that a stopped download is reported without delay.
    std::vector<Event> Tick(Clock::time_point now);
    // Ends an unfinished frame and download at once; call when the program ends.
    std::vector<Event> Flush();

    // The recipe as received so far: new-recipe values (levels 255, masks 0) where no frame arrived,
    // including position 5, which no frame carries.
    const Recipe& recipe() const { return m_recipe; }

    int framesInDownload() const { return m_count; }

  private:
    void Consume(Clock::time_point now, std::vector<Event>& out);
    void Reject(const std::string& reason, std::size_t take, std::vector<Event>& out);
    Event Summary(Event::Kind kind) const;
    void ResetDownload();

    Recipe m_recipe;
    std::vector<std::uint8_t> m_pending; // bytes of a frame not yet complete, m_pending[0] == 0xAD
    Clock::time_point m_pendingSince{};
    bool m_inStray = false; // inside a run of bytes outside any frame (reported once per run)

    // The current download.
    int m_count = 0;
    int m_bad = 0;
    int m_outOfOrder = 0;
    Clock::time_point m_first{};
    Clock::time_point m_last{};
    double m_shortestGap = 0;
    double m_longestGap = 0;
};

// Formats bytes as uppercase hexadecimal separated by single spaces ("AD 21 08 00 FF 7B").
std::string HexBytes(const std::uint8_t* data, std::size_t size);
