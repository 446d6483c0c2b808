#include "CSerialPortBase.h"

#include "TextCatalogue.h"

namespace {

// Indexed by code + 1; English here (kavo-cli, lastErrorText), translated where the operator reads them.
// "innet error" is the port's own text for an internal failure.
const char* const kErrorTexts[] = {
    KAVO_TR_NOOP("PortError", "unknown error"),       KAVO_TR_NOOP("PortError", "success"),
    KAVO_TR_NOOP("PortError", "general error"),       KAVO_TR_NOOP("PortError", "not implemented error"),
    KAVO_TR_NOOP("PortError", "innet error"),         KAVO_TR_NOOP("PortError", "null pointer error"),
    KAVO_TR_NOOP("PortError", "invalid param error"), KAVO_TR_NOOP("PortError", "access denied error"),
    KAVO_TR_NOOP("PortError", "out of memory error"), KAVO_TR_NOOP("PortError", "timeout error"),
    KAVO_TR_NOOP("PortError", "not init error"),      KAVO_TR_NOOP("PortError", "init failed error"),
    KAVO_TR_NOOP("PortError", "already exist error"), KAVO_TR_NOOP("PortError", "not exist error"),
    KAVO_TR_NOOP("PortError", "already open error"),  KAVO_TR_NOOP("PortError", "not open error"),
    KAVO_TR_NOOP("PortError", "open failed error"),   KAVO_TR_NOOP("PortError", "close failed error"),
    KAVO_TR_NOOP("PortError", "write failed error"),  KAVO_TR_NOOP("PortError", "read failed error"),
};

} // namespace

const char* PortErrorText(int code) {
    if (code < ErrorUnknown || code > ErrorReadFailed) {
        return KAVO_TR_NOOP("PortError", "undefined error code");
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
