#pragma once

#include "DownloadWorker.h"
#include "Recipe.h"

#include <functional>
#include <memory>
#include <string>

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

    enum class StartResult { Started, NotOpen, AlreadyRunning, NoThread };

    // port: closed, owned by the link from now on. beeper may be null (no tone: the listener's bell); it must
    // outlive the link. options: the frame pacing and the tone.
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
    StartResult StartDownload(Recipe recipe, IDownloadListener& listener);
    // True from a successful StartDownload until the listener's OnDownloadFinished.
    bool IsDownloadRunning() const { return m_worker.isRunning(); }

    // handler runs once on the port's receive thread when the open line hangs up (the adapter was unplugged):
    // it posts the news to its own thread and returns; it must not call Close. Set while the line is closed.
    void SetLineLostHandler(std::function<void()> handler);

    // The port, for its state and settings.
    CSerialPortBase& Port() const { return *m_port; }

  private:
    std::unique_ptr<CSerialPortBase> m_port;
    DownloadWorker m_worker; // after the port: joined before the port goes
};
