#include "ControllerLink.h"

#include "CSerialPortBase.h"
#include "PortWording.h"

using namespace kavo::download;

ControllerLink::ControllerLink(std::unique_ptr<CSerialPortBase> port, IBeeper* beeper,
                               DownloadWorker::Options options)
    : m_port(std::move(port)), m_liveSpacing(options.frameInterval + kLiveMargin), m_worker(beeper, options) {
    // Nothing is read back from the controller: received bytes are only buffered.
    m_port->setNotifyDelay(0);
    m_port->setNotifyThreshold(1);
    // Every frame's write has a deadline: a line that stops draining fails the download or Live.
    if (options.writeMargin) {
        m_port->setWriteMargin(*options.writeMargin);
    }
}

ControllerLink::~ControllerLink() {
    Close();
}

bool ControllerLink::Open(const std::string& portName) {
    Close();
    m_port->configure(portName.c_str(), kBaudRate, ParityNone, DataBits8, StopOne, FlowNone, kReadBufferSize);
    m_port->open();
    std::lock_guard state(m_state);
    m_memoryKey = portName;
    return m_port->isOpen();
}

std::string ControllerLink::OpenFailureText() const {
    return PortOpenFailureText(m_port->portName(), m_port->lastError(), m_port->lastSystemError());
}

void ControllerLink::Close() {
    m_worker.requestStop();
    m_liveThread.request_stop();
    m_port->close();
    m_worker.stop();
    StopLiveThread();
}

void ControllerLink::StopLiveThread() {
    if (m_liveThread.joinable()) {
        m_liveThread.request_stop();
        m_liveThread.join();
    }
    std::lock_guard state(m_state);
    m_liveListener = nullptr;
    m_pending.Clear();
}

bool ControllerLink::IsOpen() const {
    return m_port->isOpen();
}

void ControllerLink::SetLineLostHandler(std::function<void()> handler) {
    m_port->setLineLostHandler(std::move(handler));
}

std::string ControllerLink::PortName() const {
    return m_port->portName();
}

DownloadStartResult ControllerLink::StartDownload(Recipe recipe, IDownloadListener& listener) {
    if (!m_port->isOpen()) {
        return DownloadStartResult::NotOpen;
    }
    // The port outlives the worker's thread: Close() joins it before the port can go.
    CSerialPortBase* port = m_port.get();
    DownloadJob job{std::move(recipe),
                    [port](const std::uint8_t* data, int size) {
                        return port->write(reinterpret_cast<const char*>(data), size);
                    },
                    [port] { return PortLineFailureText(port->lastError(), port->lastSystemError()); },
                    [port] { return port->waitForSent(kDrainMilliseconds); }};
    // Every frame, download or live, is written under m_write and stamps the end of the latest frame.
    job.write = [this, write = std::move(job.write)](const std::uint8_t* data, int size) {
        std::lock_guard line(m_write);
        const int written = write(data, size);
        SetLastFrameEnd(Clock::now());
        return written;
    };
    // Live frames are held from here on; one being written is waited for, then the download's first frame
    // keeps the frame interval after it.
    job.notBefore = [this] {
        std::lock_guard line(m_write);
        return LastFrameEnd() + m_liveSpacing;
    };
    const FrameValueArray values = FrameValues(job.recipe.m_levels, job.recipe.m_stepMasks);
    IDownloadListener* l = &listener;
    DownloadCallbacks callbacks;
    callbacks.started = [this, l] {
        {
            std::lock_guard state(m_state);
            OpenMemory().downloadRunning = true;
        }
        l->OnDownloadStarted();
    };
    callbacks.progress = [this, l, values](int count) {
        {
            std::lock_guard state(m_state);
            if (count >= 1 && count <= kFrameCount) {
                OpenMemory().values[static_cast<std::size_t>(count - 1)] =
                    values[static_cast<std::size_t>(count - 1)];
            }
        }
        l->OnDownloadProgress(count);
    };
    callbacks.succeeded = [l] { l->OnDownloadSucceeded(); };
    callbacks.bell = [l] { l->OnDownloadBell(); };
    callbacks.finished = [this, l](const DownloadResult& result) {
        {
            std::lock_guard state(m_state);
            ControllerMemory& memory = OpenMemory();
            memory.downloadRunning = false;
            // All 192 written and gone is a complete download, even when the beep was cut short.
            const bool complete =
                result.framesSent == kFrameCount && result.failure == DownloadResult::Failure::None;
            memory.downloadIncomplete = !complete;
            if (result.failure == DownloadResult::Failure::Write && result.failedFrame >= 1 &&
                result.failedFrame <= kFrameCount) {
                // Part of that frame may have gone out.
                memory.values[static_cast<std::size_t>(result.failedFrame - 1)].reset();
            }
        }
        l->OnDownloadFinished(result);
        ReleaseLive();
    };
    HoldLive();
    const DownloadStartResult started = m_worker.start(std::move(job), std::move(callbacks));
    if (started != DownloadStartResult::Started) {
        ReleaseLive();
    }
    return started;
}

void ControllerLink::HoldLive() {
    std::lock_guard state(m_state);
    ++m_holds;
}

void ControllerLink::ReleaseLive() {
    {
        std::lock_guard state(m_state);
        --m_holds;
    }
    m_liveWake.notify_all();
}

bool ControllerLink::StartLive(ILiveListener& listener) {
    if (!m_port->isOpen()) {
        return false;
    }
    {
        std::lock_guard state(m_state);
        m_liveListener = &listener;
        m_pending.Clear();
    }
    if (!m_liveThread.joinable()) {
        m_liveThread = std::jthread([this](std::stop_token stop) { LiveLoop(stop); });
    }
    return true;
}

void ControllerLink::StopLive() {
    std::lock_guard state(m_state);
    m_liveListener = nullptr;
    m_pending.Clear();
}

bool ControllerLink::IsLive() const {
    std::lock_guard state(m_state);
    return m_liveListener != nullptr;
}

bool ControllerLink::SendLive(int slot, std::uint16_t value) {
    {
        std::lock_guard state(m_state);
        if (m_liveListener == nullptr) {
            return false;
        }
        m_pending.Put(slot, value, OpenMemory());
    }
    m_liveWake.notify_all();
    return true;
}

std::size_t ControllerLink::LivePendingCount() const {
    std::lock_guard state(m_state);
    return m_pending.Size();
}

ControllerMemory ControllerLink::Memory() const {
    std::lock_guard state(m_state);
    const auto it = m_memory.find(m_memoryKey);
    return it == m_memory.end() ? ControllerMemory() : it->second;
}

ControllerMemory ControllerLink::Memory(const std::string& portName) const {
    std::lock_guard state(m_state);
    const auto it = m_memory.find(portName);
    return it == m_memory.end() ? ControllerMemory() : it->second;
}

void ControllerLink::ForgetMemory(const std::string& portName) {
    std::lock_guard state(m_state);
    m_memory.erase(portName);
}

void ControllerLink::LiveLoop(std::stop_token stop) {
    CSerialPortBase* port = m_port.get();
    const auto ready = [this] { return m_liveListener != nullptr && m_holds == 0 && !m_pending.Empty(); };
    while (!stop.stop_requested()) {
        // Idle: asleep until an edit or the end of a download wakes it, never on a timer.
        {
            std::unique_lock state(m_state);
            if (!m_liveWake.wait(state, stop, ready)) {
                return;
            }
            const Clock::time_point due = LastFrameEnd() + m_liveSpacing;
            if (Clock::now() < due) {
                // Later edits coalesce into the pending values meanwhile.
                m_liveWake.wait_until(state, stop, due, [] { return false; });
                continue;
            }
        }
        std::unique_lock line(m_write);
        std::unique_lock state(m_state);
        // A download may have taken the line while this thread waited for it.
        if (!ready() || Clock::now() < LastFrameEnd() + m_liveSpacing) {
            continue;
        }
        const auto next = m_pending.Take(OpenMemory());
        if (!next) {
            continue;
        }
        state.unlock();
        const DownloadFrame frame = MakeSlotFrame(next->first, next->second);
        const int size = static_cast<int>(frame.size());
        const int written = port->write(reinterpret_cast<const char*>(frame.data()), size);
        SetLastFrameEnd(Clock::now());
        const std::string why =
            written == size ? std::string() : PortLineFailureText(port->lastError(), port->lastSystemError());
        line.unlock();
        state.lock();
        ILiveListener* listener = m_liveListener;
        const auto slot = static_cast<std::size_t>(next->first);
        if (written == size) {
            OpenMemory().values[slot] = next->second;
        } else {
            // Part of the frame may have gone out: the controller's value there is unknown. Live is off.
            OpenMemory().values[slot].reset();
            m_liveListener = nullptr;
            m_pending.Clear();
        }
        state.unlock();
        if (listener != nullptr) {
            if (written == size) {
                listener->OnLiveFrameSent(next->first, next->second);
            } else {
                listener->OnLiveFailed(next->first, why.empty() ? std::string("write failed") : why);
            }
        }
    }
}
