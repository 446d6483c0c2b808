#pragma once

#include "DownloadWorker.h"
#include "LiveQueue.h"
#include "Recipe.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CSerialPortBase;
class IBeeper;

// What a link tells about one download, on the download worker's thread: OnDownloadStarted before the first
// frame (bar at 0, red on black), OnDownloadProgress after each frame written (1..192), OnDownloadSucceeded
// after the last frame and its pause once the frames have left the port (bar green), OnDownloadBell when
// there was no sound device for the tone, and OnDownloadFinished always, last and once. A listener must not
// block on anything that waits for the link (Close, the destructor, or a thread calling them): it posts the
// work to its own thread and returns.
class IDownloadListener {
  public:
    virtual ~IDownloadListener() = default;
    virtual void OnDownloadStarted() {}
    virtual void OnDownloadProgress(int /*count*/) {}
    virtual void OnDownloadSucceeded() {}
    virtual void OnDownloadBell() {}
    virtual void OnDownloadFinished(const DownloadResult& result) = 0;
};

// What a link tells about live frames, on its live sender's thread. Same rule as for IDownloadListener:
// post the work to your own thread and return.
class ILiveListener {
  public:
    virtual ~ILiveListener() = default;
    // The frame of slot (0..191) carrying value has left the port.
    virtual void OnLiveFrameSent(int /*slot*/, std::uint16_t /*value*/) {}
    // The write of slot's frame failed: live sending is off and what was pending is dropped. errorText is
    // the port's reason ("the adapter was unplugged or the line hung up").
    virtual void OnLiveFailed(int slot, const std::string& errorText) = 0;
};

// The one owner of the line to the lighting controller: opens the port by name with the controller's line
// settings, sends a recipe as the paced download frames on the download worker's thread, and ends the line in
// the one safe order. Its operations belong to one controlling thread (the user interface, kavo-cli's main).
//
// The link is the only writer on its port: anything else sent to the controller (a single frame) belongs here
// too, through the same port and the same frame interval, and waits while a download runs.
class ControllerLink {
  public:
    // The controller's line: 115200 baud, 8 data bits, no parity, one stop bit, no flow control. The
    // controller never answers; whatever arrives anyway is only buffered, in a receive buffer of this many
    // bytes.
    static constexpr int kBaudRate = 115200;
    static constexpr unsigned kReadBufferSize = 4096;
    // After the last frame, the longest wait for the frames to leave the port before the download counts as
    // failed: 1152 bytes take 0.1 s at 115200 baud.
    static constexpr unsigned kDrainMilliseconds = 2000;
    // A live frame waits this much beyond the frame interval after the previous frame (and a download's
    // first frame after a live one): a write returns once the driver has the bytes, and the way to the
    // controller (a USB adapter, a terminal's buffer) may hold one frame a few milliseconds longer than
    // the next, which must not bring the two closer than the interval where they arrive.
    static constexpr std::chrono::milliseconds kLiveMargin{5};

    // port: closed, owned by the link from now on. beeper may be null (no tone: the listener's bell); it must
    // outlive the link. options: the frame pacing, the tone and the margin of a write.
    ControllerLink(std::unique_ptr<CSerialPortBase> port, IBeeper* beeper,
                   DownloadWorker::Options options = DownloadWorker::Options());
    // Closes the line as Close() does.
    ~ControllerLink();

    ControllerLink(const ControllerLink&) = delete;
    ControllerLink& operator=(const ControllerLink&) = delete;

    // Opens the port named portName ("COM3") with the line settings; an open line is closed first. False when
    // it can't be opened: the port is then closed and OpenFailureText() tells why.
    bool Open(const std::string& portName);
    // Why the last Open failed, as one sentence for the operator.
    std::string OpenFailureText() const;
    // Ends the line in the one safe order: asks a running download to stop, closes the port (which frees a
    // write stuck on a stalled line), then joins the worker, so that no listener is called once it returns.
    // Harmless when closed. Not to be called from a listener.
    void Close();
    bool IsOpen() const;
    // The name given to the last Open.
    std::string PortName() const;

    // Sends recipe, the caller's copy taken when Download was pressed, on the worker's thread. listener hears
    // of it and must stay valid until its OnDownloadFinished has returned or Close() has. One download at a
    // time, and only while the line is open.
    DownloadStartResult StartDownload(Recipe recipe, IDownloadListener& listener);
    // True from a successful StartDownload until the listener's OnDownloadFinished.
    bool IsDownloadRunning() const { return m_worker.isRunning(); }

    // handler runs once on the port's receive thread when the open line hangs up (the adapter was unplugged):
    // it posts the news to its own thread and returns; it must not call Close. Set while the line is closed.
    void SetLineLostHandler(std::function<void()> handler);
    // Live frames: single frames sent as values change, on a thread of the link's own. While live is on,
    // SendLive queues a slot's value (one pending value per slot, the latest wins, a value the controller
    // already holds is not sent again). Frames leave one at a time, never closer than the download's frame
    // interval to any other frame on the line (download frames included); the first after a quiet line at
    // once. A download holds them back; what is pending when it ends goes out then. Nothing runs while
    // nothing is pending. listener must stay valid until Close has returned.
    // False when the line is closed.
    bool StartLive(ILiveListener& listener);
    // Live off: pending frames are dropped. A frame being written may still be reported.
    void StopLive();
    bool IsLive() const;
    // Queues the value of one slot (kavo::download::FrameSlot); false when live is off.
    bool SendLive(int slot, std::uint16_t value);
    // Frames pending for the live line (for tests and the form).
    std::size_t LivePendingCount() const;

    // What was delivered through the port named name in this run: by complete downloads, the frames of
    // broken ones and live frames. The open port's by default.
    ControllerMemory Memory() const;
    ControllerMemory Memory(const std::string& portName) const;
    // Forgets what was delivered through portName: once the port is closed, another program may write to
    // the controller, and live frames must not skip values it may no longer hold.
    void ForgetMemory(const std::string& portName);

    // The port, for its state and settings.
    CSerialPortBase& Port() const { return *m_port; }

  private:
    using Clock = std::chrono::steady_clock;
    void LiveLoop(std::stop_token stop);
    void StopLiveThread();
    void HoldLive();
    void ReleaseLive();
    Clock::time_point LastFrameEnd() const {
        return Clock::time_point(Clock::duration(m_lastFrameEnd.load()));
    }
    void SetLastFrameEnd(Clock::time_point t) { m_lastFrameEnd.store(t.time_since_epoch().count()); }
    // The memory of the open port; under m_state.
    ControllerMemory& OpenMemory() { return m_memory[m_memoryKey]; }

    std::unique_ptr<CSerialPortBase> m_port;
    std::chrono::microseconds m_liveSpacing; // the frame interval plus kLiveMargin
    DownloadWorker m_worker;                 // after the port: joined before the port goes

    // Any frame written, download or live, holds m_write for its write: frames never interleave and
    // m_lastFrameEnd is the end of the latest. Order: m_write before m_state, never the other way.
    std::mutex m_write;
    std::atomic<Clock::rep> m_lastFrameEnd{0};

    mutable std::mutex m_state;
    std::condition_variable_any m_liveWake;
    std::map<std::string, ControllerMemory> m_memory;
    std::string m_memoryKey; // the name the port was opened with
    LiveQueue m_pending;
    ILiveListener* m_liveListener = nullptr; // live is on while set
    int m_holds = 0;                         // downloads holding live frames back
    std::jthread m_liveThread;               // started by StartLive, joined by Close
};
