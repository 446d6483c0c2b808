#include "CSerialPortUnixBase.h"

#include "LockGuard.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct BaudEntry {
    int rate;
    speed_t code;
};

// The rates termios can name. Others are refused at open (5) and ignored by setBaudRate.
constexpr BaudEntry kBaudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool BaudCode(int rate, speed_t& code) {
    for (const BaudEntry& e : kBaudRates) {
        if (e.rate == rate) {
            code = e.code;
            return true;
        }
    }
    return false;
}

bool SetParityBits(termios& tio, int parity) {
    tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (parity) {
    case ParityNone:
        break;
    case ParityOdd:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case ParityEven:
        tio.c_cflag |= PARENB;
        break;
    case ParityMark: // stick parity: PARODD with CMSPAR means the parity bit is always 1
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case ParitySpace:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        return false;
    }
    // Check received parity only when there is a parity bit.
    if (parity == ParityNone) {
        tio.c_iflag &= ~INPCK;
    } else {
        tio.c_iflag |= INPCK;
    }
    return true;
}

bool SetDataBitsBits(termios& tio, int dataBits) {
    tcflag_t size;
    switch (dataBits) {
    case 5:
        size = CS5;
        break;
    case 6:
        size = CS6;
        break;
    case 7:
        size = CS7;
        break;
    case 8:
        size = CS8;
        break;
    default:
        return false;
    }
    tio.c_cflag = (tio.c_cflag & ~CSIZE) | size;
    return true;
}

// A UART sends 1.5 stop bits for 5-bit characters when asked for two, so 1.5 goes with 5 data bits only
// and two with 6 to 8.
bool StopBitsFit(int stopBits, int dataBits) {
    switch (stopBits) {
    case StopOne:
        return true;
    case StopOneAndHalf:
        return dataBits == 5;
    case StopTwo:
        return dataBits != 5;
    default:
        return false;
    }
}

void SetStopBitsBits(termios& tio, int stopBits) {
    if (stopBits == StopOne) {
        tio.c_cflag &= ~CSTOPB;
    } else {
        tio.c_cflag |= CSTOPB;
    }
}

bool SetFlowBits(termios& tio, int flow) {
    switch (flow) {
    case FlowNone:
        tio.c_cflag &= ~CRTSCTS;
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
        return true;
    case FlowHardware:
        tio.c_cflag |= CRTSCTS;
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
        return true;
    case FlowSoftware:
        tio.c_cflag &= ~CRTSCTS;
        tio.c_iflag = (tio.c_iflag & ~IXANY) | IXON | IXOFF;
        return true;
    default:
        return false;
    }
}

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Sleeps up to ms, or less when close has begun.
void NapUnlessWoken(int wakeFd, int ms) {
    pollfd p{wakeFd, POLLIN, 0};
    ::poll(&p, 1, ms);
}

} // namespace

CSerialPortUnixBase::CSerialPortUnixBase(PortNameTable table)
    : m_table(std::move(table)), m_receiveBuffer(std::make_unique<RingBuffer<char>>(kDefaultReadBufferSize)) {
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
    m_baudRate = baudRate;
    m_parity = parity;
    m_dataBits = dataBits;
    m_stopBits = stopBits;
    m_flowControl = flowControl;
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
    return m_table.devicePath(m_portName);
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
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        return fail(ErrorOpenFailed, errno);
    }
    // Raw 8-bit line: no character translation, no echo, no signals; modem control lines ignored.
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~(IGNPAR | PARMRK | INPCK | IXON | IXOFF | IXANY);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    speed_t speed;
    if (!BaudCode(m_baudRate, speed) || ::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 ||
        !SetDataBitsBits(tio, m_dataBits) || !SetParityBits(tio, m_parity) ||
        !StopBitsFit(m_stopBits, m_dataBits)) {
        return fail(ErrorInvalidParam, EINVAL);
    }
    SetStopBitsBits(tio, m_stopBits);
    SetFlowBits(tio, m_flowControl); // an unknown value leaves no flow control
    if (!applyTermios(fd, tio)) {
        return fail(ErrorInvalidParam, errno != 0 ? errno : EINVAL);
    }
    ::tcflush(fd, TCIOFLUSH);

    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        return fail(ErrorInternal, errno);
    }
    m_openMode = m_ioMode.load();
    m_wakeFd = wakeFd;
    m_fd.store(fd);
    if (m_openMode == IoAsynchronous) {
        m_receiving.store(true);
        try {
            // The thread's first device read waits for the port lock, held here until open returns.
            m_receiveThread = std::thread(&CSerialPortUnixBase::receiveLoop, this, fd, wakeFd, m_portName);
        } catch (const std::system_error& e) {
            m_receiving.store(false);
            m_fd.store(-1);
            m_wakeFd = -1;
            ::close(wakeFd);
            return fail(ErrorInternal, e.code().value());
        }
    }
    return true;
}

bool CSerialPortUnixBase::applyTermios(int fd, const termios& tio) {
    errno = 0;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        return false;
    }
    // tcsetattr succeeds when any part was taken; a driver that cannot do the rate keeps another.
    termios now{};
    if (::tcgetattr(fd, &now) != 0) {
        return false;
    }
    errno = 0;
    return ::cfgetospeed(&now) == ::cfgetospeed(&tio);
}

void CSerialPortUnixBase::close() {
    const int fd = m_fd.load();
    if (fd < 0) {
        return;
    }
    // Wake the receive thread and any writer waiting for room: the eventfd stays readable until closed.
    m_receiving.store(false);
    ::eventfd_write(m_wakeFd, 1);
    // Drop queued output first so that a writer draining a stalled line (flow control) lets go of the lock.
    ::tcflush(fd, TCIOFLUSH);
    if (m_receiveThread.joinable() && m_receiveThread.get_id() != std::this_thread::get_id()) {
        m_receiveThread.join();
    }
    LockGuard guard(m_lock);
    ::tcflush(fd, TCIOFLUSH);
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

void CSerialPortUnixBase::receiveLoop(int fd, int wakeFd, std::string portName) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    std::vector<char> chunk; // grows to the largest queue seen, then is reused
    while (m_receiving.load()) {
        try {
            fds[0].revents = 0;
            fds[1].revents = 0;
            const int ready = ::poll(fds, 2, -1);
            if (ready < 0) {
                if (errno != EINTR) {
                    NapUnlessWoken(wakeFd, 10);
                }
                continue;
            }
            if (fds[1].revents != 0) {
                break; // close has begun
            }
            if (fds[0].revents == 0) {
                continue;
            }
            int queued = 0;
            if (::ioctl(fd, FIONREAD, &queued) != 0) {
                queued = 0;
            }
            if (queued > 0 && static_cast<unsigned>(queued) >= m_notifyThreshold.load()) {
                if (chunk.size() < static_cast<size_t>(queued)) {
                    chunk.resize(queued);
                }
                unsigned held = 0;
                bool stored = false;
                {
                    LockGuard guard(m_lock);
                    const int n = readDevice(chunk.data(), queued);
                    if (n > 0) {
                        m_receiveBuffer->write(chunk.data(), static_cast<unsigned>(n));
                        stored = true;
                    }
                    held = m_receiveBuffer->usedSize();
                }
                if (stored) {
                    notifyReceived(portName, held);
                    continue;
                }
            }
            if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && queued == 0) {
                // Adapter unplugged or the other end of a pty gone: nothing will come. Sleep until close
                // instead of waking for the hang-up again and again.
                fds[0].fd = -1;
                continue;
            }
            // Readable but fewer bytes than the threshold (or none after all): look again a little later
            // rather than spin on a level that stays readable.
            NapUnlessWoken(wakeFd, 10);
        } catch (...) {
            // Out of memory for the chunk, a timer thread that can't start, a listener that throws:
            // nothing may leave this thread. Stop receiving and wait for close.
            setError(ErrorInternal);
            fds[0].fd = -1;
        }
    }
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

bool CSerialPortUnixBase::writeAll(int fd, const char* data, int size, int& written) {
    const bool sync = m_openMode == IoSynchronous;
    // Synchronous writes give up after 100 ms per byte plus 500 ms; asynchronous ones wait without limit.
    const Clock::time_point deadline =
        Clock::now() +
        std::chrono::milliseconds(static_cast<long long>(kSyncWriteMsPerByte) * size + kSyncWriteMsConstant);
    written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, data + written, static_cast<size_t>(size - written));
        if (n > 0) {
            written += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            setError(ErrorWriteFailed, errno);
            return false;
        }
        // Output queue full (flow control or a slow line): wait for room or for close.
        pollfd fds[2] = {{fd, POLLOUT, 0}, {m_wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, sync ? RemainingMs(deadline) : -1);
        if (ready == 0) {
            break; // synchronous time limit reached
        }
        if (ready > 0 && fds[1].revents != 0) {
            setError(ErrorWriteFailed, ECANCELED); // the port is being closed
            return false;
        }
    }
    // Return only once the bytes are on the wire.
    if (!sync) {
        while (::tcdrain(fd) != 0) {
            if (errno != EINTR) {
                setError(ErrorWriteFailed, errno);
                return false;
            }
        }
        return true;
    }
    for (;;) {
        int pending = 0;
        if (::ioctl(fd, TIOCOUTQ, &pending) != 0 || pending <= 0) {
            ::tcdrain(fd); // the last character leaving the shift register
            return true;
        }
        if (RemainingMs(deadline) == 0) {
            // Time is up: what is still queued is dropped and does not count as written.
            ::tcflush(fd, TCOFLUSH);
            written = pending < written ? written - pending : 0;
            return true;
        }
        NapUnlessWoken(m_wakeFd, std::min(5, RemainingMs(deadline)));
    }
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
    int written = 0;
    if (!writeAll(fd, data, size, written)) {
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

template <typename Edit> void CSerialPortUnixBase::applyWhenOpen(Edit edit) {
    const int fd = m_fd.load();
    if (fd < 0) {
        return;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        return;
    }
    if (edit(tio)) {
        ::tcsetattr(fd, TCSANOW, &tio);
    }
}

void CSerialPortUnixBase::setBaudRate(int baudRate) {
    LockGuard guard(m_lock);
    m_baudRate = baudRate;
    applyWhenOpen([baudRate](termios& tio) {
        speed_t speed;
        return BaudCode(baudRate, speed) && ::cfsetispeed(&tio, speed) == 0 &&
               ::cfsetospeed(&tio, speed) == 0;
    });
}

int CSerialPortUnixBase::baudRate() const {
    return m_baudRate;
}

void CSerialPortUnixBase::setParity(Parity parity) {
    LockGuard guard(m_lock);
    m_parity = parity;
    applyWhenOpen([parity](termios& tio) { return SetParityBits(tio, parity); });
}

Parity CSerialPortUnixBase::parity() const {
    return m_parity;
}

void CSerialPortUnixBase::setDataBits(DataBits dataBits) {
    LockGuard guard(m_lock);
    m_dataBits = dataBits;
    const StopBits stop = m_stopBits;
    applyWhenOpen([dataBits, stop](termios& tio) {
        const bool fits = (dataBits == DataBits5 && stop != StopTwo) ||
                          (dataBits >= DataBits6 && dataBits <= DataBits8 && stop != StopOneAndHalf);
        return fits && SetDataBitsBits(tio, dataBits);
    });
}

DataBits CSerialPortUnixBase::dataBits() const {
    return m_dataBits;
}

void CSerialPortUnixBase::setStopBits(StopBits stopBits) {
    LockGuard guard(m_lock);
    m_stopBits = stopBits;
    const DataBits data = m_dataBits;
    applyWhenOpen([stopBits, data](termios& tio) {
        if (!StopBitsFit(stopBits, data)) {
            return false;
        }
        SetStopBitsBits(tio, stopBits);
        return true;
    });
}

StopBits CSerialPortUnixBase::stopBits() const {
    return m_stopBits;
}

void CSerialPortUnixBase::setFlowControl(FlowControl flowControl) {
    LockGuard guard(m_lock);
    m_flowControl = flowControl;
    applyWhenOpen([flowControl](termios& tio) { return SetFlowBits(tio, flowControl); });
}

FlowControl CSerialPortUnixBase::flowControl() const {
    return m_flowControl;
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
