#include "CSerialPortUnixBase.h"

#include "DeviceWrite.h"
#include "LockGuard.h"
#include "ReceiveLoop.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

CSerialPortUnixBase::CSerialPortUnixBase(std::shared_ptr<const IPortResolver> names)
    : m_names(std::move(names)), m_receiveBuffer(std::make_unique<RingBuffer<char>>(kDefaultReadBufferSize)) {
}

CSerialPortUnixBase::~CSerialPortUnixBase() {
    close();
    if (m_receiveThread.joinable() && m_receiveThread.get_id() != std::this_thread::get_id()) {
        m_receiveThread.join();
    }
    // The base destructor stops the notify timer.
}

void CSerialPortUnixBase::configure(const char* portName, int baudRate, Parity parity, DataBits dataBits,
                                    StopBits stopBits, FlowControl flowControl, unsigned readBufferSize) {
    m_portName = portName != nullptr ? portName : "";
    m_line = {baudRate, parity, dataBits, stopBits, flowControl};
    m_readBufferSize = readBufferSize;
    auto fresh = std::make_unique<RingBuffer<char>>(readBufferSize);
    // Configure belongs to the closed port; the lock keeps a receive thread safe should it be called open.
    LockGuard guard(m_lock);
    m_receiveBuffer = std::move(fresh);
}

std::optional<std::string> CSerialPortUnixBase::resolveDevice() const {
    if (!m_portName.empty() && m_portName[0] == '/') {
        return m_portName;
    }
    if (m_names == nullptr) {
        return std::nullopt;
    }
    return m_names->devicePath(m_portName);
}

bool CSerialPortUnixBase::failOpen(PortError code, int systemError) {
    setError(code, systemError);
    return false;
}

bool CSerialPortUnixBase::open() {
    if (isOpen()) {
        // Closed outside the lock: close joins the receive thread, which may be waiting for the lock.
        setError(ErrorOpenFailed);
        close();
        return false;
    }
    // A receive thread left by a close called from its own listener has ended or is about to; joined
    // before the lock is taken, since it may still want the lock on its way out.
    if (m_receiveThread.joinable()) {
        m_receiveThread.join();
    }
    LockGuard guard(m_lock);

    const std::optional<std::string> path = resolveDevice();
    if (!path) {
        return failOpen(ErrorNotExist, ENOENT);
    }
    // A serial program of the UUCP tradition marks the line it uses with a lock file and no flock: a live
    // one is honoured as "in use"; a stale one (its PID gone) marks nothing.
    if (m_names != nullptr && m_names->heldByLockFile(*path)) {
        return failOpen(ErrorAccessDenied, EBUSY);
    }
    const int fd = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        if (e == ENOENT || e == ENODEV || e == ENXIO) {
            return failOpen(ErrorNotExist, e);
        }
        if (e == EACCES || e == EPERM || e == EBUSY) {
            return failOpen(ErrorAccessDenied, e);
        }
        return failOpen(ErrorOpenFailed, e);
    }
    bool exclusive = false;
    auto fail = [&](PortError code, int e) {
        if (exclusive) {
            ::ioctl(fd, TIOCNXCL); // the mark is the tty's, not this descriptor's
        }
        ::close(fd);
        return failOpen(code, e);
    };
    // flock is what stops a second opener running as root (TIOCEXCL does not stop root). Reported as
    // EBUSY, like an open refused by TIOCEXCL: "in use by another program".
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        return fail(e == EWOULDBLOCK ? ErrorAccessDenied : ErrorOpenFailed, e == EWOULDBLOCK ? EBUSY : e);
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        return fail(ErrorOpenFailed, errno); // ENOTTY: not a serial device
    }
    exclusive = true;
    // An unknown flow control is left out, as setFlowControl leaves it; everything else must be taken.
    unsigned fields = AllLineFields;
    if (!ToTermios(termios{}, m_line, FieldFlowControl)) {
        fields &= ~FieldFlowControl;
    }
    if (const int e = applySettings(fd, fields, true); e != 0) {
        return fail(ErrorInvalidParam, e);
    }
    DiscardPending(fd);

    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        return fail(ErrorInternal, errno);
    }
    m_openMode = m_ioMode.load();
    m_wakeFd = wakeFd;
    m_fd.store(fd);
    if (m_openMode == IoAsynchronous) {
        try {
            // The thread's first device read waits for the port lock, held here until open returns.
            m_receiveThread = std::jthread([this, fd, wakeFd, name = m_portName](std::stop_token stop) {
                receiveLoop(stop, fd, wakeFd, name);
            });
        } catch (const std::system_error& e) {
            m_fd.store(-1);
            m_wakeFd = -1;
            ::close(wakeFd);
            return fail(ErrorInternal, e.code().value());
        }
    }
    return true;
}

int CSerialPortUnixBase::applySettings(int fd, unsigned fields, bool rawLine) {
    termios before{};
    if (::tcgetattr(fd, &before) != 0) {
        return errno;
    }
    termios base = before;
    if (rawLine) {
        MakeRawLine(base);
    }
    const std::optional<termios> wanted = ToTermios(base, m_line, fields);
    if (!wanted) {
        return EINVAL;
    }
    int e = EINVAL;
    if (::tcsetattr(fd, TCSANOW, &*wanted) != 0) {
        e = errno;
    } else {
        termios now{};
        if (::tcgetattr(fd, &now) != 0) {
            e = errno;
        } else if (LineTook(now, m_line, fields)) {
            return 0;
        }
    }
    // tcsetattr succeeds when the driver took any part of it: put back what the line had.
    ::tcsetattr(fd, TCSANOW, &before);
    return e;
}

template <typename T>
void CSerialPortUnixBase::setLineField(T LineSettings::*field, T value, LineField which) {
    LockGuard guard(m_lock);
    m_line.*field = value;
    const int fd = m_fd.load();
    if (fd >= 0) {
        applySettings(fd, which); // a line that refuses keeps what it had; the value stays stored
    }
}

void CSerialPortUnixBase::close() {
    const int fd = m_fd.load();
    if (fd < 0) {
        return;
    }
    // Wake the receive thread and any writer waiting for room: the eventfd stays readable until closed.
    m_receiveThread.request_stop();
    ::eventfd_write(m_wakeFd, 1);
    // Drop queued output first so that a writer draining a stalled line (flow control) lets go of the lock.
    DiscardPending(fd);
    if (m_receiveThread.joinable() && m_receiveThread.get_id() != std::this_thread::get_id()) {
        m_receiveThread.join();
    }
    LockGuard guard(m_lock);
    DiscardPending(fd);
    m_fd.store(-1);
    // The exclusive mark belongs to the tty and would outlive this descriptor if another one (a monitor
    // run by root) still had the device open.
    ::ioctl(fd, TIOCNXCL);
    ::close(fd); // releases the flock
    ::close(m_wakeFd);
    m_wakeFd = -1;
}

bool CSerialPortUnixBase::isOpen() const {
    return m_fd.load() >= 0;
}

void CSerialPortUnixBase::receiveLoop(std::stop_token stop, int fd, int wakeFd, std::string portName) {
    const auto take = [this, &portName](char* chunk, int queued) {
        unsigned held = 0;
        bool stored = false;
        {
            LockGuard guard(m_lock);
            const int n = readDevice(chunk, queued);
            if (n > 0) {
                m_receiveBuffer->write(chunk, static_cast<unsigned>(n));
                stored = true;
            }
            held = m_receiveBuffer->usedSize();
        }
        if (stored) {
            notifyReceived(portName, held);
        }
        return stored;
    };
    RunReceiveLoop(
        fd, wakeFd, stop, m_notifyThreshold, take, [this] { setError(ErrorInternal); },
        [this] { notifyLineLost(); });
}

unsigned CSerialPortUnixBase::bytesAvailable() {
    LockGuard guard(m_lock);
    const int fd = m_fd.load();
    if (fd >= 0 && m_openMode == IoSynchronous) {
        int queued = 0;
        if (::ioctl(fd, FIONREAD, &queued) != 0 || queued < 0) {
            return 0;
        }
        return static_cast<unsigned>(queued);
    }
    return m_receiveBuffer->usedSize();
}

int CSerialPortUnixBase::read(char* buffer, int size) {
    if (size <= 0) {
        return 0;
    }
    LockGuard guard(m_lock);
    if (!isOpen()) {
        setError(ErrorNotOpen);
        return -1;
    }
    if (buffer == nullptr) {
        setError(ErrorNullPointer);
        return -1;
    }
    if (m_openMode == IoSynchronous) {
        return readDevice(buffer, size);
    }
    return static_cast<int>(m_receiveBuffer->read(buffer, static_cast<unsigned>(size)));
}

int CSerialPortUnixBase::readAll(char* buffer) {
    return read(buffer, static_cast<int>(bytesAvailable()));
}

int CSerialPortUnixBase::readReserved(char*, int) {
    LockGuard guard(m_lock);
    setError(isOpen() ? ErrorNotImplemented : ErrorNotOpen);
    return -1;
}

int CSerialPortUnixBase::readDevice(char* buffer, int size) {
    LockGuard guard(m_lock);
    const int fd = m_fd.load();
    if (fd < 0) {
        setError(ErrorNotOpen);
        return -1;
    }
    if (size <= 0) {
        return 0;
    }
    const ssize_t n = ::read(fd, buffer, static_cast<size_t>(size));
    if (n >= 0) {
        return static_cast<int>(n);
    }
    if (errno == EAGAIN || errno == EINTR) {
        return 0;
    }
    setError(ErrorReadFailed, errno);
    return -1;
}

int CSerialPortUnixBase::write(const char* data, int size) {
    LockGuard guard(m_lock);
    const int fd = m_fd.load();
    if (fd < 0) {
        setError(ErrorNotOpen);
        return -1;
    }
    if (size <= 0) {
        return 0;
    }
    if (data == nullptr) {
        setError(ErrorNullPointer);
        return -1;
    }
    // Every write has a deadline: synchronous ones 100 ms per byte plus 500 ms; asynchronous ones the
    // bytes' time on the wire plus the write margin, so that a receiver that stopped reading fails the write.
    using namespace std::chrono;
    const auto wait = m_openMode == IoSynchronous
                          ? duration_cast<microseconds>(milliseconds(
                                static_cast<long long>(kSyncWriteMsPerByte) * size + kSyncWriteMsConstant))
                          : LineTime(m_line, size) + duration_cast<microseconds>(m_writeMargin.load());
    int written = 0;
    if (const int e = WriteToDevice(fd, m_wakeFd, data, size, steady_clock::now() + wait, written); e != 0) {
        setError(e == ETIMEDOUT ? ErrorTimeout : ErrorWriteFailed, e);
        return -1;
    }
    return written;
}

void CSerialPortUnixBase::reservedOption(int) {}

void CSerialPortUnixBase::setNotifyDelay(unsigned milliseconds) {
    m_notifyDelay.store(milliseconds);
}

void CSerialPortUnixBase::setNotifyThreshold(unsigned bytes) {
    m_notifyThreshold.store(bytes);
}

bool CSerialPortUnixBase::flush() {
    LockGuard guard(m_lock);
    const int fd = m_fd.load();
    return fd >= 0 && ::tcdrain(fd) == 0;
}

bool CSerialPortUnixBase::waitForSent(unsigned milliseconds) {
    LockGuard guard(m_lock);
    const int fd = m_fd.load();
    if (fd < 0) {
        setError(ErrorNotOpen);
        return false;
    }
    const int e = WaitForOutputSent(
        fd, m_wakeFd, std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds));
    if (e == ETIMEDOUT) {
        setError(ErrorTimeout);
    } else if (e != 0) {
        setError(ErrorWriteFailed, e);
    }
    return e == 0;
}

bool CSerialPortUnixBase::discardInput() {
    LockGuard guard(m_lock);
    const int fd = m_fd.load();
    return fd >= 0 && ::tcflush(fd, TCIFLUSH) == 0;
}

bool CSerialPortUnixBase::discardOutput() {
    LockGuard guard(m_lock);
    const int fd = m_fd.load();
    return fd >= 0 && ::tcflush(fd, TCOFLUSH) == 0;
}

void CSerialPortUnixBase::setPortName(const char* name) {
    m_portName = name != nullptr ? name : "";
}

const char* CSerialPortUnixBase::portName() const {
    return m_portName.c_str();
}

void CSerialPortUnixBase::setBaudRate(int baudRate) {
    setLineField(&LineSettings::baudRate, baudRate, FieldBaudRate);
}

int CSerialPortUnixBase::baudRate() const {
    return m_line.baudRate;
}

void CSerialPortUnixBase::setParity(Parity parity) {
    setLineField(&LineSettings::parity, parity, FieldParity);
}

Parity CSerialPortUnixBase::parity() const {
    return m_line.parity;
}

void CSerialPortUnixBase::setDataBits(DataBits dataBits) {
    setLineField(&LineSettings::dataBits, dataBits, FieldDataBits);
}

DataBits CSerialPortUnixBase::dataBits() const {
    return m_line.dataBits;
}

void CSerialPortUnixBase::setStopBits(StopBits stopBits) {
    setLineField(&LineSettings::stopBits, stopBits, FieldStopBits);
}

StopBits CSerialPortUnixBase::stopBits() const {
    return m_line.stopBits;
}

void CSerialPortUnixBase::setFlowControl(FlowControl flowControl) {
    setLineField(&LineSettings::flowControl, flowControl, FieldFlowControl);
}

FlowControl CSerialPortUnixBase::flowControl() const {
    return m_line.flowControl;
}

void CSerialPortUnixBase::setReadBufferSize(unsigned size) {
    LockGuard guard(m_lock);
    if (isOpen()) {
        m_readBufferSize = size;
    }
}

unsigned CSerialPortUnixBase::readBufferSize() const {
    return m_readBufferSize;
}

void CSerialPortUnixBase::setDtr(bool on) {
    LockGuard guard(m_lock);
    const int fd = m_fd.load();
    if (fd >= 0) {
        int bits = TIOCM_DTR;
        ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
    }
}

void CSerialPortUnixBase::setRts(bool on) {
    LockGuard guard(m_lock);
    const int fd = m_fd.load();
    if (fd >= 0) {
        int bits = TIOCM_RTS;
        ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
    }
}
