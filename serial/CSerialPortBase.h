#pragma once

#include "IMutex.h"
#include "NotifyTimer.h"
#include "ReceiveListener.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

// Line settings, in the numbers the port's device configuration uses.
enum Parity { ParityNone = 0, ParityOdd = 1, ParityEven = 2, ParityMark = 3, ParitySpace = 4 };
enum DataBits { DataBits5 = 5, DataBits6 = 6, DataBits7 = 7, DataBits8 = 8 };
enum StopBits { StopOne = 0, StopOneAndHalf = 1, StopTwo = 2 };
// FlowHardware: CTS watched on output, RTS handshake. FlowSoftware: XON/XOFF on output and input.
enum FlowControl { FlowNone = 0, FlowHardware = 1, FlowSoftware = 2 };
// IoAsynchronous: a receive thread fills the ring buffer (the default). IoSynchronous: no receive thread.
enum IoMode { IoAsynchronous = 0, IoSynchronous = 1 };

enum PortError {
    ErrorUnknown = -1,
    ErrorSuccess = 0,
    ErrorGeneral = 1,
    ErrorNotImplemented = 2,
    ErrorInternal = 3,
    ErrorNullPointer = 4,
    ErrorInvalidParam = 5,
    ErrorAccessDenied = 6,
    ErrorOutOfMemory = 7,
    ErrorTimeout = 8,
    ErrorNotInit = 9,
    ErrorInitFailed = 10,
    ErrorAlreadyExist = 11,
    ErrorNotExist = 12,
    ErrorAlreadyOpen = 13,
    ErrorNotOpen = 14,
    ErrorOpenFailed = 15,
    ErrorCloseFailed = 16,
    ErrorWriteFailed = 17,
    ErrorReadFailed = 18,
};

// The fixed text of a code; codes outside -1..18 give "undefined error code".
const char* PortErrorText(int code);

// The serial port as the rest of the system sees it. Operations report failure by their result (false
// or -1) and keep the code in lastError() (and the system's errno in lastSystemError()); nothing is shown.
//
// Threads: configure, open, close, isOpen and destruction belong to one controlling thread; write may come
// from another (writes never interleave); a backend may run a receive thread and a notify timer thread.
class CSerialPortBase {
  public:
    static constexpr unsigned kDefaultNotifyDelay = 50; // milliseconds
    static constexpr unsigned kDefaultNotifyThreshold = 1;
    // How long an asynchronous write may wait for the line beyond the time its bytes take on the wire: a
    // receiver that stops reading (a full buffer, a stalled adapter) fails the write instead of holding it.
    static constexpr std::chrono::milliseconds kDefaultWriteMargin{2000};

    CSerialPortBase() = default;
    CSerialPortBase(const CSerialPortBase&) = delete;
    CSerialPortBase& operator=(const CSerialPortBase&) = delete;
    // Stops the notify timer. A backend closes its device in its own destructor.
    virtual ~CSerialPortBase();

    // Stores the name and the six numbers unchecked and replaces the receive buffer (bytes in it are
    // dropped). Settings reach the device at the next open.
    virtual void configure(const char* portName, int baudRate, Parity parity, DataBits dataBits,
                           StopBits stopBits, FlowControl flowControl, unsigned readBufferSize) = 0;
    // Takes effect at the next open.
    virtual void setIoMode(IoMode mode);
    IoMode ioMode() const { return m_ioMode.load(); }

    // False on failure, the port then closed and lastError() telling why: 12 no such device, 6 in use or
    // access refused, 15 already open (the port is closed) or another open failure, 5 settings refused,
    // 3 the receive thread could not start.
    virtual bool open() = 0;
    // Stops the receive thread and waits for it, purges and closes the device. Does nothing when closed.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual unsigned bytesAvailable() = 0;
    // Bytes delivered, 0 when size <= 0, -1 on failure (14 not open, 18 read failed).
    virtual int read(char* buffer, int size) = 0;
    virtual int readAll(char* buffer) = 0;
    // Not implemented: -1 with 2 when open, 14 when closed.
    virtual int readReserved(char* buffer, int size) = 0;
    // Bytes written once they are on the wire; -1 with 14 when closed, 17 when the device refuses, 8 (and
    // ETIMEDOUT) when the line did not take them all by the write's deadline: in asynchronous mode their
    // time on the wire plus writeMargin(). What the line had not taken by then is dropped.
    virtual int write(const char* data, int size) = 0;
    virtual void reservedOption(int value) = 0;

    // 0: the listener is called at once on each arrival; otherwise once the line is quiet this long.
    virtual void setNotifyDelay(unsigned milliseconds) = 0;
    virtual unsigned notifyDelay() const;
    // Bytes the device must hold before the receive thread takes them.
    virtual void setNotifyThreshold(unsigned bytes) = 0;
    virtual unsigned notifyThreshold() const;

    virtual bool flush() = 0;
    virtual bool discardInput() = 0;
    virtual bool discardOutput() = 0;

    // Code of the most recent failure; a later success does not clear it.
    virtual int lastError() const;
    virtual const char* lastErrorText() const;
    virtual void resetError();
    // errno captured at the most recent failure, 0 if none (also cleared by resetError). After a failed
    // open: EBUSY held by another program, EACCES or EPERM permission denied (the user is not in the
    // dialout group), ENOENT, ENODEV or ENXIO no such device.
    int lastSystemError() const { return m_lastSystemError.load(); }

    virtual void setPortName(const char* name) = 0;
    virtual const char* portName() const = 0;
    virtual void setBaudRate(int baudRate) = 0;
    virtual int baudRate() const = 0;
    virtual void setParity(Parity parity) = 0;
    virtual Parity parity() const = 0;
    virtual void setDataBits(DataBits dataBits) = 0;
    virtual DataBits dataBits() const = 0;
    virtual void setStopBits(StopBits stopBits) = 0;
    virtual StopBits stopBits() const = 0;
    virtual void setFlowControl(FlowControl flowControl) = 0;
    virtual FlowControl flowControl() const = 0;
    // Stored only while open; the receive buffer keeps its size until the next configure.
    virtual void setReadBufferSize(unsigned size) = 0;
    virtual unsigned readBufferSize() const = 0;
    virtual void setDtr(bool on) = 0;
    virtual void setRts(bool on) = 0;

    // Waits until the bytes written have left the line (its output queue is empty), at most milliseconds:
    // true when they have; false with 8 when bytes are still queued then, 17 when the port is being
    // closed, 14 when it is closed. Last, after the operations in their fixed order.
    virtual bool waitForSent(unsigned milliseconds) = 0;

    // The margin of every asynchronous write beyond its bytes' time on the wire (kDefaultWriteMargin).
    void setWriteMargin(std::chrono::milliseconds margin) { m_writeMargin.store(margin); }
    std::chrono::milliseconds writeMargin() const { return m_writeMargin.load(); }

    // Receiver of data notifications, not owned; nullptr for none. Set it while the port is closed, and
    // keep the listener alive until the port is closed and destroyed.
    void setReceiveListener(ReceiveListener* listener) { m_listener.store(listener); }
    ReceiveListener* receiveListener() const { return m_listener.load(); }
    // Called once, on the receive thread, when the open line hangs up with nothing left to read (the
    // adapter was unplugged, the far end of a pseudo-terminal closed); the port stays open until closed.
    // Set it while the port is closed. It must not wait for the port (close, destruction).
    void setLineLostHandler(std::function<void()> handler) { m_lineLost = std::move(handler); }

  protected:
    void setError(PortError code, int systemError = 0);
    // Tells the listener, if any, that byteCount bytes are held now: at once or through the notify timer.
    void notifyReceived(const std::string& portName, unsigned byteCount);
    void stopNotifyTimer() { m_notifyTimer.stop(); }
    void notifyLineLost() {
        if (m_lineLost) {
            m_lineLost();
        }
    }

    std::atomic<int> m_lastError{ErrorSuccess};
    std::atomic<int> m_lastSystemError{0};
    std::atomic<IoMode> m_ioMode{IoAsynchronous};
    std::atomic<unsigned> m_notifyDelay{kDefaultNotifyDelay};
    std::atomic<unsigned> m_notifyThreshold{kDefaultNotifyThreshold};
    std::atomic<std::chrono::milliseconds> m_writeMargin{kDefaultWriteMargin};
    IMutex m_lock; // the port lock, recursive
    std::atomic<ReceiveListener*> m_listener{nullptr};
    NotifyTimer m_notifyTimer;
    std::function<void()> m_lineLost;
};
