#pragma once

#include "DownloadFrame.h"
#include "Recipe.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The receiving side of the download link: turns the bytes that arrive from the sender into frames,
// keeps the recipe they carry and measures the timing of each download. No I/O of its own, so that the
// decoding can be tested with plain bytes; kavo-cli simulate puts it behind a pseudo-terminal.
class VirtualController {
  public:
    using Clock = std::chrono::steady_clock;

    // A download ends when the last frame of the sending order (AD 28 3B ..) arrives. A gap longer than this
    // between two frames ends one that has not got there; the next frame starts a new one. The sender pauses
    // 50 ms between frames. A first frame of the sending order (AD 21 08 ..) also ends a download in
    // progress, however soon it follows.
    static constexpr std::chrono::milliseconds kAbandonGap{2000};
    // A frame begun but not finished within this time is given up as bad when the next byte arrives.
    static constexpr std::chrono::milliseconds kByteTimeout{500};
    // The controller takes a frame every kFrameInterval; a frame of a download that came closer than that
    // to the one before is named. Gaps are taken when the frames are read, which may be a little late
    // for one and on time for the next: a gap counts as closer only when it is under kFrameInterval less
    // kReadSlack. (Frames read together show 0.0 ms: they were in the line's buffer at once.)
    static constexpr std::chrono::milliseconds kFrameInterval{50};
    static constexpr std::chrono::milliseconds kReadSlack{5};

    // A good frame that arrives while no download is in progress is a live frame: it sets its register and
    // belongs to no download. A frame of the first address of the sending order sets its register at once,
    // but its event waits for what follows: the second frame of the sending order makes it the first of a
    // download; anything else, nothing before kAbandonGap, or the end (Flush) makes it a live frame.
    struct Event {
        enum Kind {
            Frame,              // a good frame, fields below
            BadFrame,           // bytes that do not form a frame; reason and bytes below
            DownloadComplete,   // the last frame arrived, and each of the 192 arrived once and in order
            DownloadIncomplete, // anything else: summary below. Either the last frame arrived with frames
                                // missing, repeated or out of order (lastFrameArrived), or the download
                                // stopped short (a gap longer than kAbandonGap, or the first frame of a new
                                // download arrived)
        };
        Kind kind = Frame;
        // Frame
        bool live = false; // a single frame outside any download (number 0)
        int number = 0;    // 1.. within the current download
        int sequence = 0;  // its number in the sending order, from its address and channel
        int camera = 0;    // 1..3
        int position = 0;  // 1..4
        bool mask = false;
        int channel = 0; // 1..8
        std::uint16_t value = 0;
        double msSincePrevious = -1; // -1 for the first frame of a download
        bool arrivedLate = false;    // arrived after a frame that comes later in the sending order
        bool repeat = false;         // a frame with this address already arrived in this download
        bool close = false;          // came closer than kFrameInterval after the download's frame before
        // Frame and BadFrame
        std::vector<std::uint8_t> bytes;
        std::string reason; // BadFrame only
        // DownloadComplete and DownloadIncomplete
        int frames = 0;                // frames received, repeats included
        std::vector<int> missing;      // sending-order numbers (1..192) that did not arrive
        std::vector<int> repeated;     // sending-order numbers that arrived more than once
        bool lastFrameArrived = false; // the sender got to the end of the download
        int badFrames = 0;             // bad frames from the download's first frame on
        int outOfOrder = 0;            // frames that arrived after a frame that comes later
        std::vector<int> closeFrames;  // sending-order numbers of the frames that came too close
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

    // The registers, as a controller holds them: the value of the latest good frame at each address, live or
    // in a download; new-recipe values (levels 255, masks 0) where no frame arrived, including position 5,
    // which no frame carries.
    const Recipe& recipe() const { return m_recipe; }

    int framesInDownload() const { return m_count; }

  private:
    enum class Verdict { Good, Bad, Short };
    // Whether the bytes of m_pending from at (a header) form a frame; Short while too few bytes are here to
    // tell. reason says what is wrong with a Bad one.
    Verdict Examine(std::size_t at, std::string* reason) const;
    void Consume(Clock::time_point now, std::vector<Event>& out);
    void Reject(const std::string& reason, std::size_t take, std::vector<Event>& out);
    // The summary of the current download: complete only when its last frame arrived and each frame arrived
    // once and in order.
    Event Summary(bool lastFrameArrived) const;
    void ResetDownload();
    // Ends a download that did not get to its last frame (gone silent, or a new first frame came): its
    // summary.
    void EndShort(std::vector<Event>& out);
    // Tells the held frame of the first address as a live frame.
    void ReleaseHeld(std::vector<Event>& out);
    // Counts e, which arrived at now, in the current download (starting one when none runs) and tells it.
    void CountInDownload(Event e, Clock::time_point now, std::vector<Event>& out);

    Recipe m_recipe;
    std::vector<std::uint8_t> m_pending; // bytes of a frame not yet complete, m_pending[0] == 0xAD
    Clock::time_point m_pendingSince{};
    bool m_inStray = false; // inside a run of bytes outside any frame (reported once per run)

    // The current download.
    int m_count = 0;
    int m_bad = 0;
    int m_outOfOrder = 0;
    int m_lastSequence = 0;
    std::array<int, kavo::download::kFrameCount + 1> m_arrivals{}; // per sending-order number 1..192
    Clock::time_point m_first{};
    Clock::time_point m_last{};
    double m_shortestGap = 0;
    double m_longestGap = 0;
    std::vector<int> m_close;
    Clock::time_point m_lastGood{}; // the latest good frame, live or in a download
    bool m_anyGood = false;
    // A frame of the first address outside a download, not yet told: a download's start or a live frame.
    std::optional<Event> m_held;
    Clock::time_point m_heldAt{};
};

// Formats bytes as uppercase hexadecimal separated by single spaces ("AD 21 08 00 FF 7B").
std::string HexBytes(const std::uint8_t* data, std::size_t size);
// Formats increasing frame numbers with runs joined: "3, 7-9, 100".
std::string FrameNumbers(const std::vector<int>& numbers);
