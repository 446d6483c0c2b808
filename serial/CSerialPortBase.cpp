#include "CSerialPortBase.h"

namespace {

// Indexed by code + 1. "innet error" is the port's own text for an internal failure.
const char* const kErrorTexts[] = {
    "unknown error",       "success",
    "general error",       "not implemented error",
    "innet error",         "null pointer error",
    "invalid param error", "access denied error",
    "out of memory error", "timeout error",
    "not init error",      "init failed error",
    "already exist error", "not exist error",
    "already open error",  "not open error",
    "open failed error",   "close failed error",
    "write failed error",  "read failed error",
};

} // namespace

const char* PortErrorText(int code) {
    if (code < ErrorUnknown || code > ErrorReadFailed) {
        return "undefined error code";
    }
    return kErrorTexts[code + 1];
}

CSerialPortBase::~CSerialPortBase() {
    m_notifyTimer.stop();
}

void CSerialPortBase::setIoMode(IoMode mode) {
    m_ioMode.store(mode);
}

unsigned CSerialPortBase::notifyDelay() const {
    return m_notifyDelay.load();
}

unsigned CSerialPortBase::notifyThreshold() const {
    return m_notifyThreshold.load();
}

int CSerialPortBase::lastError() const {
    return m_lastError.load();
}

const char* CSerialPortBase::lastErrorText() const {
    return PortErrorText(m_lastError.load());
}

void CSerialPortBase::resetError() {
    m_lastError.store(ErrorSuccess);
    m_lastSystemError.store(0);
}

void CSerialPortBase::setError(PortError code, int systemError) {
    m_lastError.store(code);
    m_lastSystemError.store(systemError);
}

void CSerialPortBase::notifyReceived(const std::string& portName, unsigned byteCount) {
    ReceiveListener* listener = m_listener.load();
    if (listener == nullptr) {
        return;
    }
    const unsigned delay = m_notifyDelay.load();
    if (delay == 0) {
        listener->onDataReceived(portName.c_str(), byteCount);
    } else {
        m_notifyTimer.arm(listener, delay, portName, byteCount);
    }
}
