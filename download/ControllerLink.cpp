#include "ControllerLink.h"

#include "CSerialPortBase.h"
#include "PortWording.h"

ControllerLink::ControllerLink(std::unique_ptr<CSerialPortBase> port, IBeeper* beeper,
                               DownloadWorker::Options options)
    : m_port(std::move(port)), m_worker(beeper, options) {
    // Nothing is read back from the controller: received bytes are only buffered.
    m_port->setNotifyDelay(0);
    m_port->setNotifyThreshold(1);
}

ControllerLink::~ControllerLink() {
    Close();
}

bool ControllerLink::Open(const std::string& portName) {
    Close();
    m_port->configure(portName.c_str(), kBaudRate, ParityNone, DataBits8, StopOne, FlowNone, kReadBufferSize);
    m_port->open();
    return m_port->isOpen();
}

std::string ControllerLink::OpenFailureText() const {
    return PortOpenFailureText(m_port->portName(), m_port->lastError(), m_port->lastSystemError());
}

void ControllerLink::Close() {
    m_worker.requestStop();
    m_port->close();
    m_worker.stop();
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

ControllerLink::StartResult ControllerLink::StartDownload(Recipe recipe, IDownloadListener& listener) {
    if (!m_port->isOpen()) {
        return StartResult::NotOpen;
    }
    // The port outlives the worker's thread: Close() joins it before the port can go.
    CSerialPortBase* port = m_port.get();
    DownloadJob job{std::move(recipe),
                    [port](const std::uint8_t* data, int size) {
                        return port->write(reinterpret_cast<const char*>(data), size);
                    },
                    [port] { return PortLineFailureText(port->lastError(), port->lastSystemError()); },
                    [port] { return port->waitForSent(kDrainMilliseconds); }};
    IDownloadListener* l = &listener;
    DownloadCallbacks callbacks;
    callbacks.started = [l] { l->OnDownloadStarted(); };
    callbacks.progress = [l](int count) { l->OnDownloadProgress(count); };
    callbacks.succeeded = [l] { l->OnDownloadSucceeded(); };
    callbacks.bell = [l] { l->OnDownloadBell(); };
    callbacks.finished = [l](const DownloadResult& result) { l->OnDownloadFinished(result); };
    switch (m_worker.start(std::move(job), std::move(callbacks))) {
    case DownloadWorker::StartResult::Started:
        return StartResult::Started;
    case DownloadWorker::StartResult::AlreadyRunning:
        return StartResult::AlreadyRunning;
    case DownloadWorker::StartResult::NoThread:
        return StartResult::NoThread;
    case DownloadWorker::StartResult::NoWriter:
        break;
    }
    return StartResult::NotOpen;
}
